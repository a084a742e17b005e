# Fails when a source line copies a writable field into `auto`: `auto x = e[Field::X];` makes x a
# reference to the entry's field, not a copy of its value, so changing x would change the entry.
# Write the type (`std::string x = e[Field::X];`) instead.
# Run as: cmake -DROOT=<project folder> -P check_field_copies.cmake
set(pattern "auto[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]*=[^;]*\\[Field::[A-Za-z]+\\][ \t]*;")
set(errors "")
foreach(folder src tests bench fuzz)
  file(GLOB_RECURSE files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} hits REGEX "${pattern}")
    foreach(hit IN LISTS hits)
      string(APPEND errors "${file}: ${hit}\n")
    endforeach()
  endforeach()
endforeach()
if(errors)
  message(FATAL_ERROR "A field copied into auto is a reference to the field:\n${errors}")
endif()
