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
    // Set when the plan cannot make this file: the status its record gets
    // (the run makes nothing of it and counts its sources as lost).
    QString refusal;
};

struct OutputPlan {
    QList<OutputFile> outputFiles;
    int totalFileSelected = 1; // the run's initial value; an unknown mode leaves it
};

// What part of a plan one run makes, and where below the output folder.
struct PlanScope {
    // Not empty: a single-image output goes to the folder below the output
    // folder that its source has below this one (compared as written, after
    // cleaning "." and ".."; symbolic links are not followed). Combined and
    // grouped files keep their names in the output folder.
    QString mirrorRoot;
    // This run makes the output files whose shardOf() is shardIndex (1-based).
    int shardIndex = 1;
    int shardCount = 1;
};

// The status of a source outside PlanScope::mirrorRoot.
inline const QString kOutsideMirrorRoot = QStringLiteral("Source is outside the folder to mirror");

// Which of `count` shards owns the output whose path relative to the output
// folder is `relativePath`: the first 8 bytes of the SHA-256 of its UTF-8, read
// as a big-endian number, modulo count, plus 1. It depends on that path alone,
// so no list order or length changes it.
int shardOf(const QString &relativePath, int count);

// Plans item by item, keeping only the output files of its scope: a list of
// millions needs memory for this shard's part only. Items are the checked
// ones, in list order. planOutputFiles() is this planner over a whole list.
class OutputPlanner {
public:
    OutputPlanner(const Settings &settings, const QString &outputFolder, const PlanScope &scope = {});
    void add(const FileItemPtr &item);
    // False when add() would drop a checked item of this local path for
    // belonging to another shard (single images only: in the other modes an
    // item counts wherever it goes), so a caller with millions of paths
    // makes items for this shard's only. Touches no file.
    bool keeps(const QString &path) const;
    OutputPlan finish();

private:
    void keepIfOurs(OutputFile &&out, const QString &relativePath);
    // A single image's output path below the output folder; sets *outside
    // for a source outside the mirror root.
    QString singleRelativePath(const QString &sourcePath, bool *outside) const;
    int m_mode;
    qsizetype m_groupSize;
    QString m_outputFolder;
    QString m_name; // combined file or group base name
    PlanScope m_scope;
    QString m_root; // cleaned mirror root, "" when flat
    qint64 m_seen = 0;
    OutputFile m_open; // the group or combined file being filled
    OutputPlan m_plan;
    int m_selected = 0;
};

// The program's own names of the three combine modes (also used to count usage).
QString combineModeName(int combineOptionIndex);
// The same name in the installed translator's language, for showing.
QString combineModeTitle(int combineOptionIndex);

// Turns the checked items of `files` (in list order) into output files by the
// combine mode, names and group size of `settings`, inside `outputFolder`.
// Pure: touches no file. A group size below 1 is taken as 1.
OutputPlan planOutputFiles(const QList<FileItemPtr> &files, const Settings &settings, const QString &outputFolder);
OutputPlan planOutputFiles(const QList<FileItemPtr> &files, const Settings &settings, const QString &outputFolder,
                           const PlanScope &scope);

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
