# Writes OUTPUT, a C++ file that defines lumora::BuiltInRulesFiles(): the
# bytes of every file in FILES (paths relative to BASE, separated by "|") by
# that path. Run as: cmake -DBASE=dir -DFILES=a|b -DOUTPUT=file.cpp -P EmbedFiles.cmake
set(body "// Made by cmake/EmbedFiles.cmake from ${BASE}; do not edit.\n#include \"site/SiteRules.h\"\n\nnamespace lumora {\n\nconst std::map<std::string, std::string>& BuiltInRulesFiles() {\n    static const std::map<std::string, std::string> files = {\n")
string(REPLACE "|" ";" names "${FILES}")
foreach(name IN LISTS names)
  file(READ "${BASE}/${name}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR bytes "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  # Long literals split into pieces, each a string of its own.
  string(REGEX REPLACE "((\\\\x[0-9a-f][0-9a-f]){64})" "\\1\"\n         \"" escaped "${escaped}")
  string(APPEND body "        {\"${name}\", std::string(\"${escaped}\", ${bytes})},\n")
endforeach()
string(APPEND body "    };\n    return files;\n}\n\n}  // namespace lumora\n")
file(WRITE "${OUTPUT}.new" "${body}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
