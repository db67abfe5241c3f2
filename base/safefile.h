#pragma once

// The one way the program replaces a file. The new content goes to a new
// file beside the old one, written unbuffered with every byte count
// checked, synced to the disk and only then renamed over the old one; the
// folder is synced after, so the rename outlasts a power cut too. Whatever
// fails on the way (the disk full, a size limit, no right to write), the
// old file stays as it was, byte for byte, and no temporary file is left.
//
// Unbuffered matters: a buffered QSaveFile writes its buffer out only
// inside commit() and there takes a short write for success, renaming a
// cut-short file over the old one.

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace velorix {

// Replaces (or creates) the file at `path` by `bytes`. On failure returns
// false and puts the reason in words into `why` ("No space left on
// device", "File too large", "Permission denied").
bool replaceFile(const QString &path, const QByteArray &bytes, QString *why = nullptr);

// Replaces `target` by a copy of `source` the same way. A source that
// cannot be read leaves the target alone. The copy gets the permissions of
// a new file, not those of the source (a read-only installed original).
bool copyReplacing(const QString &source, const QString &target, QString *why = nullptr);

// The file's bytes are on the disk, not only in the system's cache.
bool syncToDisk(QFileDevice &file);
// The folder holding `path` is synced, so that a file renamed or created
// in it is still there after a power cut.
void syncFolder(const QString &path);

} // namespace velorix
