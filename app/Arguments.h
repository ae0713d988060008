#pragma once
#include <QList>
#include <QUrl>

namespace quillon {

// The parameters of one file-adding job (a copy is handed to the worker).
struct Arguments {
    QList<QUrl> urls;             // files, folders or both
    bool isFolders = false;       // true: folders may be among urls and are scanned
    bool isIncludeSubdirectories = false; // with isFolders: scan subfolders too
};

} // namespace quillon
