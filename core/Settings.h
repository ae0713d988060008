#pragma once
#include "core/image/Bilevel.h"
#include "core/image/Compression.h"

#include <QDataStream>
#include <QObject>
#include <QString>
#include <QVariant>

class QSettings;

namespace quillon {

// The stored compression choices (tiffCompressionIndex), in the order the
// window's popup lists them.
enum CompressionIndex : int {
    NoCompression = 0,
    CcittGroup3Compression = 1,
    CcittGroup4Compression = 2,
    LzwCompression = 3,
    PackBitsCompression = 4,
};

// The stored combine modes (combineOptionIndex).
enum CombineMode : int {
    SingleImageFiles = 0, // one TIFF per source image
    OneMultiPageFile = 1, // every checked image in one file
    GroupedFiles = 2,     // a file per group of N images
};

// What a run does when an output name is taken, by a file in the folder or
// by an earlier output of the same run.
enum class ExistingFilePolicy {
    Replace,  // the new file replaces it (the later output of a run wins)
    KeepBoth, // the new file gets " (2)", " (3)" ... before ".tiff"
    Skip,     // the output is not made
};
// "replace", "keep-both", "skip"; parsing ignores case and blanks.
QString existingFilePolicyText(ExistingFilePolicy policy);
bool parseExistingFilePolicy(const QString &text, ExistingFilePolicy *out);

// The conversion options, stored as one dictionary under "SETTINGS" in the
// user-defaults store (shared by both editions). Main thread only; the run
// reads tiffCompressionIndex and isOpenFolderAfterConversion from its thread
// while the window is locked.
class Settings : public QObject {
    Q_OBJECT
    Q_PROPERTY(int combineOptionIndex READ combineOptionIndex WRITE setCombineOptionIndex NOTIFY combineOptionIndexChanged)
    Q_PROPERTY(int groupMultiPageTIFFCount READ groupMultiPageTIFFCount WRITE setGroupMultiPageTIFFCount NOTIFY groupMultiPageTIFFCountChanged)
    Q_PROPERTY(int tiffCompressionIndex READ tiffCompressionIndex WRITE setTiffCompressionIndex NOTIFY tiffCompressionIndexChanged)
    Q_PROPERTY(bool isSetCurrentAsDefaultOutputFolderPath READ isSetCurrentAsDefaultOutputFolderPath WRITE setIsSetCurrentAsDefaultOutputFolderPath NOTIFY isSetCurrentAsDefaultOutputFolderPathChanged)
    Q_PROPERTY(bool isOpenFolderAfterConversion READ isOpenFolderAfterConversion WRITE setIsOpenFolderAfterConversion NOTIFY isOpenFolderAfterConversionChanged)
    Q_PROPERTY(QString singleMultiPageTIFFName READ singleMultiPageTIFFName WRITE setSingleMultiPageTIFFName NOTIFY singleMultiPageTIFFNameChanged)
    Q_PROPERTY(QString groupMultiPageTIFFName READ groupMultiPageTIFFName WRITE setGroupMultiPageTIFFName NOTIFY groupMultiPageTIFFNameChanged)
    Q_PROPERTY(QString outputFolderPath READ outputFolderPath WRITE setOutputFolderPath NOTIFY outputFolderPathChanged)
    Q_PROPERTY(bool isClearProcessedFiles READ isClearProcessedFiles WRITE setIsClearProcessedFiles NOTIFY isClearProcessedFilesChanged)
    Q_PROPERTY(int leadingZeros READ leadingZeros WRITE setLeadingZeros NOTIFY leadingZerosChanged)

public:
    static inline const QString kKey = QStringLiteral("SETTINGS");
    // Output files converted at once. A key of its own: edition 1 rewrites
    // "SETTINGS" whole and would drop anything it doesn't know.
    static inline const QString kJobsKey = QStringLiteral("CONVERSIONJOBS");
    static constexpr int kMaxJobs = 64;
    // One per core.
    static int defaultJobs();
    // Stored value, or the default when none (or a bad one) is stored; 1..kMaxJobs.
    int jobs();
    // Stored at once.
    void setJobs(int v);

    // Choices newer than the dictionary, each under a key of its own for the
    // same reason. Loaded with the record and stored by synchronize() (a key
    // is written once its choice differs from the default). The run reads
    // them from its thread like tiffCompressionIndex.
    static inline const QString kBilevelKey = QStringLiteral("BILEVELCONVERSION");
    static inline const QString kAutomaticCompressionKey = QStringLiteral("AUTOMATICCOMPRESSION");
    static inline const QString kExistingFilesKey = QStringLiteral("EXISTINGFILES");
    // How CCITT pages that are not bilevel become black and white.
    image::BilevelOptions bilevelOptions() const { return m_bilevelOptions; }
    void setBilevelOptions(const image::BilevelOptions &v);
    // The sixth compression choice: G4 or LZW page by page. It holds only
    // together with tiffCompressionIndex 3 (LZW), which turning it on sets:
    // a build that knows five choices reads LZW, and a choice made there
    // ends it.
    bool isAutomaticCompression() const { return m_automaticCompression && m_tiffCompressionIndex == 3; }
    void setAutomaticCompression(bool v);
    ExistingFilePolicy existingFilePolicy() const { return m_existingFilePolicy; }
    void setExistingFilePolicy(ExistingFilePolicy v);

    static inline const QString kCompressionMethodKey = QStringLiteral("COMPRESSIONMETHOD");
    static inline const QString kCompressionLevelKey = QStringLiteral("COMPRESSIONLEVEL");
    static inline const QString kJpegQualityKey = QStringLiteral("JPEGQUALITY");
    static inline const QString kKeepMetadataKey = QStringLiteral("KEEPMETADATA");
    static inline const QString kOutputDpiKey = QStringLiteral("OUTPUTRESOLUTION");
    // The compression of the run, all choices together. Deflate, Zstandard
    // and JPEG hold, like Automatic, only together with tiffCompressionIndex
    // 3 (LZW): a build that knows fewer reads LZW, and a choice made there
    // ends them.
    image::Compression compression() const;
    void setCompression(image::Compression v);
    // Deflate or Zstandard level; 0 = the codec's default. Out-of-range
    // values are the default for the compression in use.
    int compressionLevel() const;
    void setCompressionLevel(int v);
    // JPEG quality 1..100 (default 90).
    int jpegQuality() const { return m_jpegQuality; }
    void setJpegQuality(int v);
    image::CodingOptions codingOptions() const { return {compressionLevel(), m_jpegQuality}; }
    // EXIF, XMP and IPTC carried from the sources to the pages (default off).
    bool isKeepMetadata() const { return m_keepMetadata; }
    void setKeepMetadata(bool v);
    // Resolution written on every page, in dots per inch (1..kMaxDpi); 0
    // keeps each source's own.
    static constexpr int kMaxDpi = 10000;
    int outputDpi() const { return m_outputDpi; }
    void setOutputDpi(int v);
    // The window's single-image runs recreate the checked sources' folders
    // below the output folder (default off).
    static inline const QString kMirrorFoldersKey = QStringLiteral("MIRRORFOLDERS");
    bool isMirrorFolders() const { return m_mirrorFolders; }
    void setMirrorFolders(bool v);

    // Loads from `store` (not owned; the application's store when null).
    explicit Settings(QSettings *store = nullptr, QObject *parent = nullptr);
    ~Settings() override;

    QVariantMap getData();
    void setData(const QVariant &data);
    // Writes the options this record changed since it was loaded or last
    // synchronised into the stored dictionary as it is now on disk (another
    // process may have saved other options meanwhile), under the store's
    // update lock; then flushes the store.
    void synchronize();

    // Keyed archive form (same keys as the stored dictionary).
    void encodeWithCoder(QDataStream &out);
    void initWithCoder(QDataStream &in);

    int combineOptionIndex() const { return m_combineOptionIndex; }
    int groupMultiPageTIFFCount() const { return m_groupMultiPageTIFFCount; }
    int tiffCompressionIndex() const { return m_tiffCompressionIndex; }
    bool isSetCurrentAsDefaultOutputFolderPath() const { return m_isSetCurrentAsDefaultOutputFolderPath; }
    bool isOpenFolderAfterConversion() const { return m_isOpenFolderAfterConversion; }
    QString singleMultiPageTIFFName() const { return m_singleMultiPageTIFFName; }
    QString groupMultiPageTIFFName() const { return m_groupMultiPageTIFFName; }
    QString outputFolderPath() const { return m_outputFolderPath; }
    bool isClearProcessedFiles() const { return m_isClearProcessedFiles; }
    int leadingZeros() const { return m_leadingZeros; }

    void setCombineOptionIndex(int v);
    void setGroupMultiPageTIFFCount(int v);
    void setTiffCompressionIndex(int v);
    void setIsSetCurrentAsDefaultOutputFolderPath(bool v);
    void setIsOpenFolderAfterConversion(bool v);
    void setSingleMultiPageTIFFName(const QString &v);
    void setGroupMultiPageTIFFName(const QString &v);
    void setOutputFolderPath(const QString &v);
    void setIsClearProcessedFiles(bool v);
    void setLeadingZeros(int v);

signals:
    void combineOptionIndexChanged();
    void groupMultiPageTIFFCountChanged();
    void tiffCompressionIndexChanged();
    void isSetCurrentAsDefaultOutputFolderPathChanged();
    void isOpenFolderAfterConversionChanged();
    void singleMultiPageTIFFNameChanged();
    void groupMultiPageTIFFNameChanged();
    void outputFolderPathChanged();
    void isClearProcessedFilesChanged();
    void leadingZerosChanged();
    void bilevelOptionsChanged();
    void automaticCompressionChanged();
    void existingFilePolicyChanged();
    void compressionMethodChanged();
    void codingOptionsChanged();
    void keepMetadataChanged();
    void outputDpiChanged();
    void mirrorFoldersChanged();

private:
    QSettings *store();
    void setCompressionMethod(image::Compression v); // Deflate, Zstd, Jpeg or None

    QSettings *m_store = nullptr;
    QSettings *m_ownedStore = nullptr;
    QVariantMap m_synced; // getData() when last loaded or synchronised
    // The choices stored under keys of their own, as last loaded or synchronised.
    QVariantMap choices() const;
    QVariantMap m_syncedChoices;
    int m_combineOptionIndex = 0;
    int m_groupMultiPageTIFFCount = 2;
    int m_tiffCompressionIndex = 0;
    bool m_isSetCurrentAsDefaultOutputFolderPath = true;
    bool m_isOpenFolderAfterConversion = true;
    QString m_singleMultiPageTIFFName;
    QString m_groupMultiPageTIFFName;
    QString m_outputFolderPath;
    bool m_isClearProcessedFiles = false;
    int m_leadingZeros = 0;
    image::BilevelOptions m_bilevelOptions;
    bool m_automaticCompression = false;
    ExistingFilePolicy m_existingFilePolicy = ExistingFilePolicy::Replace;
    image::Compression m_compressionMethod = image::Compression::None; // Deflate, Zstd or Jpeg; None = not chosen
    int m_compressionLevel = 0;
    int m_jpegQuality = image::kDefaultJpegQuality;
    bool m_keepMetadata = false;
    int m_outputDpi = 0;
    bool m_mirrorFolders = false;
};

// The application's user-defaults store (organisation "Orvanta", application "QuillonConverter").
QSettings *userDefaults();

} // namespace quillon
