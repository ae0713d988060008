#pragma once
#include "core/FileItem.h"
#include "core/Process.h"
#include "core/Settings.h"
#include "cli/TerminalProgress.h"

#include <QObject>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace quillon {

// Parsed command line of quillon-convert.
struct CliOptions {
    QStringList paths;
    QString outputFolder;
    int mode = 0;        // combine option index
    QString name;        // mode 1 file name or mode 2 base name
    int groupSize = 2;
    image::Compression compression = image::Compression::None;
    image::CodingOptions coding; // --level, --quality
    bool keepMetadata = false;   // --metadata keep
    int dpi = 0;                 // --dpi; 0 keeps each source's resolution
    image::BilevelOptions bilevel;
    ExistingFilePolicy existing = ExistingFilePolicy::Replace;
    QString failedListPath; // --failed-list: where the lost sources are listed
    bool recursive = false;
    ProgressMode progress = ProgressMode::Lines; // --progress, -q; see progressGiven
    bool progressGiven = false; // else the bar on a terminal, lines otherwise
    int jobs = Settings::defaultJobs();
    quint64 memoryBytes = 0; // --memory; 0: the run's default
    SelectionRange pages; // applied to every TIFF source
    QString filesFrom;    // --files-from: a list file, "-" for standard input
    QString mirrorRoot;   // --mirror-from: absolute, cleaned
    int shardIndex = 1;   // --shard K/N
    int shardCount = 1;
    bool sharded = false;
    QString logDir;       // --log-dir
    bool checksums = false;
    QString manifestPath; // --manifest
};

// Fills `options` from argv. False with a message for a usage error (nothing
// may be written then). `helpShown` is set for --help / --version.
bool parseCommandLine(const QStringList &arguments, CliOptions *options, QString *error, QString *help, bool *helpShown);

// Parses --shard K/N or env (with --shard-count's text, maybe empty) into o.
bool parseShard(const QString &text, const QString &countText, CliOptions *o, QString *error);

// Parses a page selection: all | RANGES | step:N | rstep:N.
bool parsePageSelection(const QString &text, SelectionRange *out, QString *error);

// Runs one conversion through the same planner and run as the window.
class CliRunner : public QObject, public ProcessOwner {
    Q_OBJECT
public:
    CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err);

    // Hands `add` the items the paths and then the list give, each source
    // once, folders scanned like the window scans them; no file is opened.
    // False with a reason when the list cannot be read. A path `keep` turns
    // down makes no item (it belongs to another shard).
    bool collectItems(const std::function<void(const FileItemPtr &)> &add, QString *error,
                      const std::function<bool(const QString &path)> &keep = {});
    // Returns the exit status: 0 all planned files created, 1 otherwise.
    int run();
    void cancel();

    void updateTimeTakenLabel(const QString &text) override;
    void openOutputFolder(const QString &path) override;

private:
    // Writes the --failed-list file; false (said on stderr) when it can't.
    bool writeFailedList(const QStringList &paths);
    bool writeManifest(const Log &log);

    CliOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    Process *m_process = nullptr;
    int m_missingPaths = 0; // paths given that name no file or folder
};

} // namespace quillon
