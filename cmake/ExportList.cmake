# The export names of the plugin, read from src/plugin/ExportList.h, the one
# place they are written down.
set(SPUZARN_EXPORT_LIST_FILE "${CMAKE_CURRENT_LIST_DIR}/../src/plugin/ExportList.h")

function(spuzarn_export_names out)
    file(READ "${SPUZARN_EXPORT_LIST_FILE}" text)
    string(REGEX MATCHALL "\n[ \t]*X\\([^,]+, *[A-Za-z0-9_]+," entries "${text}")
    list(TRANSFORM entries REPLACE "^.*, *([A-Za-z0-9_]+),$" "\\1")
    set(${out} ${entries} PARENT_SCOPE)
endfunction()
