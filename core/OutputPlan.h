#pragma once
#include "core/FileItem.h"

#include <QList>
#include <QString>

namespace quillon {

class Settings;

// One planned output TIFF: where it goes and the sources that feed it, in order.
struct OutputFile {
    QString filename;
    QList<FileItemPtr> fileItems;
};

struct OutputPlan {
    QList<OutputFile> outputFiles;
    int totalFileSelected = 1; // the run's initial value; an unknown mode leaves it
};

// The program's own names of the three combine modes (also used to count usage).
QString combineModeName(int combineOptionIndex);
// The same name in the installed translator's language, for showing.
QString combineModeTitle(int combineOptionIndex);

// Turns the checked items of `files` (in list order) into output files by the
// combine mode, names and group size of `settings`, inside `outputFolder`.
// Pure: touches no file. A group size below 1 is taken as 1.
OutputPlan planOutputFiles(const QList<FileItemPtr> &files, const Settings &settings, const QString &outputFolder);

// How many output files the plan makes of `checkedItems` checked items (what
// the window shows before a run); an unknown mode makes none.
int outputFileCount(int checkedItems, int combineOptionIndex, int groupSize);

// Joins a folder and a file name with exactly one separator.
QString joinPath(const QString &folder, const QString &name);

// The pages (1-based, in output order) of `item` to take, by its selection and
// page count. Empty for a null item. Never loops without end: steps below 1
// yield nothing.
QList<int> getPageRanges(const FileItem *item);
QList<int> pageListFor(const SelectionRange &selection, int pageCount);

} // namespace quillon
