# Reads the DLL's export and import tables with objdump: the exports must be exactly the entry
# points under their plain names (plus the panel pointer as data, and the refusal reason and
# reading notes for tools), the imports only Windows' own libraries. Run as: cmake -DOBJDUMP=... -DDLL=... -P check_dll_tables.cmake
set(expected_exports
  EXPORT_BeforeTransform EXPORT_EnterOption EXPORT_InterfaceVersion EXPORT_LeaveOption
  EXPORT_SupportedExtensions EXPORT_WriteToFile
  IMPORT_CreateImage IMPORT_CreatePreviewImage IMPORT_FreeImage IMPORT_ImageInformation
  IMPORT_InterfaceVersion IMPORT_SupportedExtensions IMPORT_ValidFileCheck
  PLUGINCALLBACK PLUGOUTCALLBACK UNITED_SupportedInformation UNITED_Verbose
  VARNELTIFF_ReadingNotes VARNELTIFF_RefusalReason _ExportOptionForm)
set(allowed_imports KERNEL32.dll msvcrt.dll USER32.dll GDI32.dll ADVAPI32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

# The names follow "[Ordinal/Name Pointer] Table", one a line: "\t[   3] IMPORT_CreateImage".
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "the DLL has no export name table")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(FIND "${table}" "\n" header_end)
math(EXPR header_end "${header_end} + 1")
string(SUBSTRING "${table}" ${header_end} -1 table)
string(FIND "${table}" "\n\n" end)
string(SUBSTRING "${table}" 0 ${end} table)
# Brackets would confuse CMake's lists: drop them first.
string(REPLACE "[" " " table "${table}")
string(REPLACE "]" " " table "${table}")
string(REGEX MATCHALL "[0-9]+ +[A-Za-z_0-9@]+" lines "${table}")
set(exports)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9]+ +" "" name "${line}")
  list(APPEND exports "${name}")
endforeach()
list(SORT exports)
list(SORT expected_exports)
if(NOT exports STREQUAL expected_exports)
  message(FATAL_ERROR "exports are\n  ${exports}\nexpected\n  ${expected_exports}")
endif()

string(REGEX MATCHALL "DLL Name: [A-Za-z0-9_.-]+" lines "${dump}")
set(imports)
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" name "${line}")
  list(APPEND imports ${name})
  string(TOUPPER "${name}" upper)
  set(known FALSE)
  foreach(allowed IN LISTS allowed_imports)
    string(TOUPPER "${allowed}" allowed_upper)
    if(upper STREQUAL allowed_upper)
      set(known TRUE)
    endif()
  endforeach()
  if(NOT known)
    message(FATAL_ERROR "the DLL imports ${name}; allowed: ${allowed_imports}")
  endif()
endforeach()
message(STATUS "exports: ${exports}")
message(STATUS "imports: ${imports}")
