# Turns the UTF-8 string files into one C++ source of UTF-16 literals, run at build time:
#   cmake -DOUTPUT=<file.cpp> -DSTRING_FILES=<a.txt|b.txt|...> -DNAMES_FILE=<names.txt>
#         -P embed_string_files.cmake
# STRING_FILES lists the thirteen files in language order, joined with '|' so that no
# semicolon has to cross the command line. Each line becomes u"...\r\n"; the text starts
# with the byte-order mark U+FEFF. The compiler converts the UTF-8 source to UTF-16.

# The six characters the parser takes as quote marks, as UTF-8 alternatives.
set(quote_marks "(\"|«|»|“|”|„)")

# Appends to `out` the literal for `file` as `symbol`; fails the build when the file does
# not hold exactly `entries` entries (two quote marks each).
function(embed_file out symbol file entries)
    file(READ "${file}" text)
    string(REPLACE "\r" "" text "${text}")
    if(NOT text MATCHES "\n$")
        string(APPEND text "\n")
    endif()

    string(REGEX MATCHALL "${quote_marks}" marks "${text}")
    list(LENGTH marks mark_count)
    math(EXPR expected "2 * ${entries}")
    if(NOT mark_count EQUAL expected)
        message(FATAL_ERROR "${file}: ${mark_count} quote marks, ${expected} expected "
                            "(${entries} entries, each between two marks)")
    endif()

    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\t" "\\t" text "${text}")
    string(REPLACE "\n" "\\r\\n\"\n    u\"" text "${text}")

    get_filename_component(name "${file}" NAME)
    set(literal "// ${name}\nconst char16_t ${symbol}[] = u\"\\uFEFF\"\n    u\"${text}\";\n\n")
    set(${out} "${${out}}${literal}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" string_files "${STRING_FILES}")
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS string_files)
    embed_file(body "kFile${index}" "${file}" 37)
    string(APPEND table "    {kFile${index}, sizeof(kFile${index}) - sizeof(char16_t)},\n")
    math(EXPR index "${index} + 1")
endforeach()
embed_file(body "kNames" "${NAMES_FILE}" 13)

file(WRITE "${OUTPUT}"
    "// Generated at build time from i18n/strings/*.txt by i18n/embed_string_files.cmake.\n"
    "// Edit the text files, not this one.\n"
    "#include \"i18n/built_in_strings.h\"\n\n"
    "namespace {\n\n${body}} // namespace\n\n"
    "const StringFileData kStringFiles[kLanguageCount] = {\n${table}};\n\n"
    "const StringFileData kLanguageNameFile = {kNames, sizeof(kNames) - sizeof(char16_t)};\n")
