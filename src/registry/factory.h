// Which reader reads a file and which writer writes one: by the file's extension (letter case
// ignored) and an optional format number (-1: none). Each format has one row, in the order
// the rows are tried; a row whose format is not built yet yields no reader or writer.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/iter_base.h"

namespace vesk {

/// The text after the last "." of the file's own name, lower-cased ("" when none).
std::string fileExtension(std::string_view fileName);
/// The file's name without its folder and without the extension.
std::string fileBaseName(std::string_view fileName);

/// What a row's maker is given.
struct FormatArgs {
    std::string fileName;
    std::string baseName;
    int formatNumber = -1;
    /// The general file reader's kind: 2 LDIF, 1 HTML, 9 Juno, 14 INI, 8 Eudora, else 0.
    int subKind = 0;
};

using ReaderMaker = std::unique_ptr<IterBase> (*)(const FormatArgs&);
using WriterMaker = std::unique_ptr<ToBase> (*)(const FormatArgs&);

/// Makers for the common constructor shapes, so that a row names its class in one line.
template <class R>
std::unique_ptr<IterBase> readerOfFile(const FormatArgs& a) {
    return std::make_unique<R>(a.fileName);
}
template <class R>
std::unique_ptr<IterBase> readerOfFileAndBase(const FormatArgs& a) {
    return std::make_unique<R>(a.fileName, a.baseName);
}
template <class R>
std::unique_ptr<IterBase> readerOfFileAndSubKind(const FormatArgs& a) {
    return std::make_unique<R>(a.fileName, a.subKind);
}
template <class R, int kFormat>
std::unique_ptr<IterBase> readerOfFileAs(const FormatArgs& a) {
    return std::make_unique<R>(a.fileName, kFormat);
}
template <class W>
std::unique_ptr<ToBase> writerOfFile(const FormatArgs& a) {
    return std::make_unique<W>(a.fileName);
}
template <class W>
std::unique_ptr<ToBase> writerOfFileAndBase(const FormatArgs& a) {
    return std::make_unique<W>(a.fileName, a.baseName);
}

/// One row of the reader or writer table. `extensions` is a ";" list; `formatNumber` also
/// selects the row (-1: none); `notForFormat` keeps the row out for that number (-1: none).
struct FormatRow {
    const char* extensions;
    int formatNumber;
    int notForFormat;
    const char* description;
    ReaderMaker reader;
    WriterMaker writer;
};

/// The rows in the order they are tried; the general file reader (the last reader row, with
/// no extension) takes every file no earlier row took.
const std::vector<FormatRow>& readerRows();
const std::vector<FormatRow>& writerRows();

/// The arguments a row's maker gets for this file.
FormatArgs formatArgs(const std::string& fileName, int formatNumber);
/// The row that decides for this file (built or not), or nullptr when none does.
const FormatRow* readerRowFor(const std::string& fileName, int formatNumber);
const FormatRow* writerRowFor(const std::string& fileName, int formatNumber);
/// True when a reader (writer) for the file is built, without making one.
bool hasReaderFor(const std::string& fileName, int formatNumber);
bool hasWriterFor(const std::string& fileName, int formatNumber);

/// A new reader for the file, or nullptr.
std::unique_ptr<IterBase> createReader(const std::string& fileName, int formatNumber);
/// A new writer for the file, or nullptr.
std::unique_ptr<ToBase> createWriter(const std::string& fileName, int formatNumber);

/// The reader (writer) of the row chosen by `formatNumber` whatever the extension, as the
/// application dispatch needs for a named program's store; nullptr when none is built.
std::unique_ptr<IterBase> createReaderOf(int formatNumber, const std::string& fileName);
std::unique_ptr<ToBase> createWriterOf(int formatNumber, const std::string& fileName);

/// Makes `extension` read and written by the given makers ahead of every row (nullptr leaves
/// that side to the rows); tests and plug-ins use it. An empty pair removes the override.
void setFormatOverride(const std::string& extension, ReaderMaker reader, WriterMaker writer);

}  // namespace vesk
