# The export names of the plugin, read from src/plugin/ExportList.h, the one
# place they are written down.
set(SPUZARN_EXPORT_LIST_FILE "${CMAKE_CURRENT_LIST_DIR}/../src/plugin/ExportList.h")

# spuzarn_export_names(OUT [LINUX]): the names of ZARN_EXPORT_LIST; with LINUX
# also those of ZARN_LINUX_EXPORT_LIST, which the file defines after it.
function(spuzarn_export_names out)
    file(READ "${SPUZARN_EXPORT_LIST_FILE}" text)
    list(FIND ARGN LINUX with_linux)
    if(with_linux EQUAL -1)
        string(FIND "${text}" "#define ZARN_LINUX_EXPORT_LIST" linux_list)
        string(SUBSTRING "${text}" 0 ${linux_list} text)
    endif()
    # An entry starts a line, or follows its list's "(X)" on the #define's line.
    string(REGEX MATCHALL "(\n[ \t]*|\\(X\\)[ \t]+)X\\([^,]+, *[A-Za-z0-9_]+," entries "${text}")
    list(TRANSFORM entries REPLACE "^.*, *([A-Za-z0-9_]+),$" "\\1")
    set(${out} ${entries} PARENT_SCOPE)
endfunction()
