// What runs over an album besides the downloads themselves: extensions fixed
// from the files' first bytes, time stamps in album order, and the file that
// lists the pictures' own descriptions.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "download/DownloadJob.h"

namespace lumora {

// --- Picture formats ----------------------------------------------------------

// The extension that a file's first bytes show (".jpg", ".png", ".gif",
// ".bmp", ".tga", ".ico", ".cur", ".tiff"), or empty when they show none.
// `head` holds at least 5 bytes; a shorter file is padded with zeros.
std::u16string_view ExtensionForHeader(const unsigned char* head);

// Gives the file at `path` the extension its first bytes show, in lower case.
// Returns true when the file was moved. Afterwards `path` names the file as
// it is now. When the new name is taken by a file of the same content (another
// process fixed the same picture), that file is the picture and the copy at
// `path` goes; a new name taken by anything else leaves both unchanged.
// Missing files and anything but a regular file are left alone.
bool DetectPictureType(std::u16string& path);

// Told of each item's file as soon as it was renamed.
using PictureMoved = std::function<void(std::size_t index, const std::u16string& from, const std::u16string& to)>;

// Runs DetectPictureType over every item and rewrites `job.fileNames` to the
// names the files have afterwards; absolute entries stay absolute.
void FixPictureFormats(DownloadJob& job, const PictureMoved& moved = {});

// Where a picture recorded at `recorded` with `size` bytes is now, when a
// format fix renamed it but its record was not updated (the process was
// killed between the two): the same name with another of the extensions the
// fix gives, holding as many bytes. Empty when there is none.
std::u16string FindRenamedPicture(const std::u16string& recorded, std::uint64_t size);

// Renames `from` to `to` but never replaces an existing file at `to`.
// Paths are UTF-8.
bool MoveNoReplace(const std::string& from, const std::string& to);
// MoveNoReplace for file systems that do not offer RENAME_NOREPLACE.
bool MoveByLinking(const std::string& from, const std::string& to);

// --- Picture order --------------------------------------------------------------

// Sets the access and modification times of an existing regular file that
// opens for reading and writing. Otherwise, or when t <= 0, nothing happens.
void SetFileTimes(const std::u16string& path, std::time_t t);

// Stamps item i with now − 60 s × i, so that a folder sorted by date, newest
// first, lists the pictures in album order. Missing files are skipped.
void FixPictureOrder(const DownloadJob& job);

// --- Picture-name file ------------------------------------------------------------

// "<albumFolder><album name>.txt": UTF-16LE with byte-order mark, line k the
// description of item k followed by CR LF. Every line is on disk once Append
// returns, so a crash mid-album keeps the lines written so far.
//
// The download run calls Start at the beginning of each album; the naming
// code calls Append (or the function from Appender) right after it appended
// a picture to the job. The first picture of the album replaces whatever file
// an earlier download left, so an album that yields no picture leaves it alone.
class PictureNameFile {
public:
    // The job must outlive this object: its albumFolder is read at each
    // Append, because the album's folder is only known once its first
    // picture has been named.
    void Start(const DownloadJob& job, const std::u16string& albumName);

    // Adds the line of the job's newest item; false when it could not be written.
    bool Append(const std::u16string& description) const;

    // Append, for the naming code. Valid while this object lives.
    std::function<void(const std::u16string&)> Appender() const;

    // The file's path as Append would write it now; empty before Start.
    std::u16string Path() const;

private:
    const DownloadJob* job_ = nullptr;
    std::u16string fileName_;
};

}  // namespace lumora
