// A small reader for hand-edited INI files, reading values the way the
// Windows private-profile functions do, so files written for the first
// platform read the same here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace lumora {

// One INI file. The file is read afresh on every call, so an edit takes
// effect at the next read. Encodings: UTF-16LE with BOM, UTF-8 with or
// without BOM, and GBK (what the first platform wrote) when the bytes are
// not UTF-8. Section and key names match ignoring case; lines starting with
// ";" or "#" are comments; a value loses its surrounding blanks and then one
// pair of matching surrounding quotes (" or '). Comments after a value are
// part of it, as on the first platform.
class CIni {
public:
    explicit CIni(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& Path() const { return file_; }

    // The value of `key` in the first matching `section`, or `defaultValue`
    // when the file, the section or the key is missing, or either name is empty.
    std::u16string ReadIniText(std::u16string_view section, std::u16string_view key,
                               std::u16string_view defaultValue = {}) const;

private:
    std::filesystem::path file_;
};

// The whole text of an INI file, in any of the encodings above; empty when
// there is none or it cannot be read.
std::u16string ReadIniFile(const std::filesystem::path& file);

// `text` with every section named `section` (ignoring case) taken out and
// the section with `lines` put at its end; every other line, comments
// included, stays as it was.
std::u16string ReplaceIniSection(std::u16string_view text, std::u16string_view section, std::u16string_view lines);

}  // namespace lumora
