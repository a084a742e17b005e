// The fuzzer's bytes as a file, since every reader reads a file by name: written to a
// temporary path of this process and removed again when the object goes.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace vesk::fuzzing {

class InputFile {
  public:
    InputFile(const std::uint8_t* data, std::size_t size, const std::string& suffix = {})
        : m_path("/tmp/vesk-fuzz-" + std::to_string(::getpid()) + suffix) {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ~InputFile() { std::remove(m_path.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

}  // namespace vesk::fuzzing
