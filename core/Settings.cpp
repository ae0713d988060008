#include "core/Settings.h"

#include <QThread>
#include <algorithm>

#include "core/AppFolders.h"
#include "core/SharedSettings.h"
#include "core/SystemLog.h"
#include "core/TextNumbers.h"

#include <QSettings>

#include <exception>

namespace quillon {

namespace {

// The choices stored under kCompressionMethodKey.
bool isNewerMethod(image::Compression c)
{
    return c == image::Compression::Deflate || c == image::Compression::Zstd || c == image::Compression::Jpeg;
}

} // namespace

QSettings *userDefaults()
{
    // One store for both editions, so each sees what the other saved.
    static QSettings *s = new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                        QStringLiteral("Orvanta"), QStringLiteral("QuillonConverter"));
    return s;
}

Settings::Settings(QSettings *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    try {
        // A damaged store can claim values of any size; a failed read keeps the defaults.
        const QVariant stored = this->store()->value(kKey);
        if (stored.isValid())
            setData(stored);
        QSettings *s = this->store();
        image::parseBilevelOptions(s->value(kBilevelKey).toString(), &m_bilevelOptions);
        m_automaticCompression = s->value(kAutomaticCompressionKey).toBool() && m_tiffCompressionIndex == 3;
        parseExistingFilePolicy(s->value(kExistingFilesKey).toString(), &m_existingFilePolicy);
        image::Compression method = image::Compression::None;
        if (parseCompression(s->value(kCompressionMethodKey).toString(), &method) && isNewerMethod(method)
            && m_tiffCompressionIndex == 3 && !m_automaticCompression)
            m_compressionMethod = method;
        m_compressionLevel = std::max(0, intValueOf(s->value(kCompressionLevelKey)));
        const int quality = intValueOf(s->value(kJpegQualityKey));
        m_jpegQuality = quality >= 1 && quality <= 100 ? quality : image::kDefaultJpegQuality;
        m_keepMetadata = boolValueOf(s->value(kKeepMetadataKey));
        const int dpi = intValueOf(s->value(kOutputDpiKey));
        m_outputDpi = dpi >= 1 && dpi <= kMaxDpi ? dpi : 0;
        m_mirrorFolders = boolValueOf(s->value(kMirrorFoldersKey));
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Settings=>init) : %1").arg(QString::fromLocal8Bit(e.what())));
    }
    m_synced = getData();
    m_syncedChoices = choices();
}

Settings::~Settings() = default;

QVariantMap Settings::choices() const
{
    const image::Compression c = compression();
    return {{kBilevelKey, image::bilevelOptionsText(m_bilevelOptions)},
            {kAutomaticCompressionKey, isAutomaticCompression()},
            {kExistingFilesKey, existingFilePolicyText(m_existingFilePolicy)},
            {kCompressionMethodKey, isNewerMethod(c) ? compressionText(c) : QString()},
            {kCompressionLevelKey, m_compressionLevel},
            {kJpegQualityKey, m_jpegQuality},
            {kKeepMetadataKey, m_keepMetadata},
            {kOutputDpiKey, m_outputDpi},
            {kMirrorFoldersKey, m_mirrorFolders}};
}

image::Compression Settings::compression() const
{
    if (isAutomaticCompression())
        return image::Compression::Automatic;
    if (m_tiffCompressionIndex == 3 && m_compressionMethod != image::Compression::None)
        return m_compressionMethod;
    if (m_tiffCompressionIndex >= 0 && m_tiffCompressionIndex <= 4)
        return image::Compression(m_tiffCompressionIndex);
    return image::Compression::None;
}

void Settings::setCompression(image::Compression v)
{
    if (v == image::Compression::Automatic) {
        setAutomaticCompression(true);
        return;
    }
    if (isNewerMethod(v)) {
        setTiffCompressionIndex(3);
        setAutomaticCompression(false);
        setCompressionMethod(v);
        return;
    }
    setTiffCompressionIndex(int(v));
    setAutomaticCompression(false);
    setCompressionMethod(image::Compression::None);
}

void Settings::setCompressionMethod(image::Compression v)
{
    if (m_compressionMethod == v)
        return;
    m_compressionMethod = v;
    emit compressionMethodChanged();
}

int Settings::compressionLevel() const
{
    const image::LevelRange r = image::levelRange(compression());
    return m_compressionLevel >= r.min && m_compressionLevel <= r.max ? m_compressionLevel : 0;
}

void Settings::setJpegQuality(int v)
{
    v = v >= 1 && v <= 100 ? v : image::kDefaultJpegQuality;
    if (m_jpegQuality == v)
        return;
    m_jpegQuality = v;
    emit codingOptionsChanged();
}

void Settings::setOutputDpi(int v)
{
    v = v >= 1 && v <= kMaxDpi ? v : 0;
    if (m_outputDpi == v)
        return;
    m_outputDpi = v;
    emit outputDpiChanged();
}

QSettings *Settings::store() { return m_store ? m_store : userDefaults(); }

int Settings::defaultJobs()
{
    return std::clamp(QThread::idealThreadCount(), 1, kMaxJobs);
}

int Settings::jobs()
{
    bool ok = false;
    const int v = store()->value(kJobsKey).toInt(&ok);
    return ok && v >= 1 ? std::min(v, kMaxJobs) : defaultJobs();
}

void Settings::setJobs(int v)
{
    store()->setValue(kJobsKey, std::clamp(v, 1, kMaxJobs));
}

QString existingFilePolicyText(ExistingFilePolicy policy)
{
    switch (policy) {
    case ExistingFilePolicy::KeepBoth: return QStringLiteral("keep-both");
    case ExistingFilePolicy::Skip: return QStringLiteral("skip");
    case ExistingFilePolicy::Replace: break;
    }
    return QStringLiteral("replace");
}

bool parseExistingFilePolicy(const QString &text, ExistingFilePolicy *out)
{
    const QString t = text.trimmed().toLower();
    for (ExistingFilePolicy p : {ExistingFilePolicy::Replace, ExistingFilePolicy::KeepBoth, ExistingFilePolicy::Skip}) {
        if (t == existingFilePolicyText(p)) {
            *out = p;
            return true;
        }
    }
    return false;
}

void Settings::setBilevelOptions(const image::BilevelOptions &v)
{
    if (m_bilevelOptions == v)
        return;
    m_bilevelOptions = v;
    emit bilevelOptionsChanged();
}

void Settings::setAutomaticCompression(bool v)
{
    if (v) {
        setTiffCompressionIndex(3);
        setCompressionMethod(image::Compression::None);
    }
    if (m_automaticCompression == v)
        return;
    m_automaticCompression = v;
    emit automaticCompressionChanged();
}

void Settings::setExistingFilePolicy(ExistingFilePolicy v)
{
    if (m_existingFilePolicy == v)
        return;
    m_existingFilePolicy = v;
    emit existingFilePolicyChanged();
}

#define QUILLON_SETTER(Type, name, member, signal) \
    void Settings::name(Type v)                    \
    {                                              \
        if (member == v)                           \
            return;                                \
        member = v;                                \
        emit signal();                             \
    }
QUILLON_SETTER(int, setCombineOptionIndex, m_combineOptionIndex, combineOptionIndexChanged)
QUILLON_SETTER(int, setGroupMultiPageTIFFCount, m_groupMultiPageTIFFCount, groupMultiPageTIFFCountChanged)
QUILLON_SETTER(bool, setIsSetCurrentAsDefaultOutputFolderPath, m_isSetCurrentAsDefaultOutputFolderPath, isSetCurrentAsDefaultOutputFolderPathChanged)
QUILLON_SETTER(bool, setIsOpenFolderAfterConversion, m_isOpenFolderAfterConversion, isOpenFolderAfterConversionChanged)
QUILLON_SETTER(const QString &, setSingleMultiPageTIFFName, m_singleMultiPageTIFFName, singleMultiPageTIFFNameChanged)
QUILLON_SETTER(const QString &, setGroupMultiPageTIFFName, m_groupMultiPageTIFFName, groupMultiPageTIFFNameChanged)
QUILLON_SETTER(const QString &, setOutputFolderPath, m_outputFolderPath, outputFolderPathChanged)
QUILLON_SETTER(bool, setIsClearProcessedFiles, m_isClearProcessedFiles, isClearProcessedFilesChanged)
QUILLON_SETTER(int, setLeadingZeros, m_leadingZeros, leadingZerosChanged)
QUILLON_SETTER(int, setCompressionLevel, m_compressionLevel, codingOptionsChanged)
QUILLON_SETTER(bool, setKeepMetadata, m_keepMetadata, keepMetadataChanged)
QUILLON_SETTER(bool, setMirrorFolders, m_mirrorFolders, mirrorFoldersChanged)
#undef QUILLON_SETTER

void Settings::setTiffCompressionIndex(int v)
{
    if (m_tiffCompressionIndex == v)
        return;
    m_tiffCompressionIndex = v;
    emit tiffCompressionIndexChanged();
    // Any other choice ends Automatic and the newer methods, wherever it was made.
    if (v != 3) {
        setAutomaticCompression(false);
        setCompressionMethod(image::Compression::None);
    }
}

QVariantMap Settings::getData()
{
    try {
        // Never store a missing text: the dictionary always has every key.
        if (m_singleMultiPageTIFFName.isNull())
            m_singleMultiPageTIFFName = QStringLiteral("");
        if (m_groupMultiPageTIFFName.isNull())
            m_groupMultiPageTIFFName = QStringLiteral("");
        if (m_outputFolderPath.isNull())
            m_outputFolderPath = QStringLiteral("");
        QVariantMap d;
        d.insert(QStringLiteral("combineOptionIndex"), m_combineOptionIndex);
        d.insert(QStringLiteral("groupMultiPageTIFFCount"), m_groupMultiPageTIFFCount);
        d.insert(QStringLiteral("tiffCompressionIndex"), m_tiffCompressionIndex);
        d.insert(QStringLiteral("isSetCurrentAsDefaultOutputFolderPath"), m_isSetCurrentAsDefaultOutputFolderPath);
        d.insert(QStringLiteral("isOpenFolderAfterConversion"), m_isOpenFolderAfterConversion);
        d.insert(QStringLiteral("singleMultiPageTIFFName"), m_singleMultiPageTIFFName);
        d.insert(QStringLiteral("groupMultiPageTIFFName"), m_groupMultiPageTIFFName);
        d.insert(QStringLiteral("outputFolderPath"), m_outputFolderPath);
        d.insert(QStringLiteral("isClearProcessedFiles"), m_isClearProcessedFiles);
        if (edition() != 1)
            d.insert(QStringLiteral("leadingZeros"), m_leadingZeros);
        return d;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Settings=>getData) : %1").arg(QString::fromLocal8Bit(e.what())));
        return {};
    }
}

void Settings::setData(const QVariant &data)
{
    try {
        if (!data.isValid() || data.isNull())
            return;
        if (data.typeId() != QMetaType::QVariantMap && data.typeId() != QMetaType::QVariantHash)
            return;
        const QVariantMap d = data.toMap();
        auto text = [&](const char *key) {
            const QVariant v = d.value(QLatin1String(key));
            return v.isValid() ? v.toString() : QString();
        };
        setCombineOptionIndex(intValueOf(d.value(QStringLiteral("combineOptionIndex"))));
        setGroupMultiPageTIFFCount(intValueOf(d.value(QStringLiteral("groupMultiPageTIFFCount"))));
        setTiffCompressionIndex(intValueOf(d.value(QStringLiteral("tiffCompressionIndex"))));
        setIsSetCurrentAsDefaultOutputFolderPath(boolValueOf(d.value(QStringLiteral("isSetCurrentAsDefaultOutputFolderPath"))));
        setIsOpenFolderAfterConversion(boolValueOf(d.value(QStringLiteral("isOpenFolderAfterConversion"))));
        setSingleMultiPageTIFFName(text("singleMultiPageTIFFName"));
        setGroupMultiPageTIFFName(text("groupMultiPageTIFFName"));
        setOutputFolderPath(text("outputFolderPath"));
        setIsClearProcessedFiles(boolValueOf(d.value(QStringLiteral("isClearProcessedFiles"))));
        setLeadingZeros(intValueOf(d.value(QStringLiteral("leadingZeros"))));

        // A folder survives a restart only together with the keep-as-default choice.
        if (m_outputFolderPath.isEmpty())
            setIsSetCurrentAsDefaultOutputFolderPath(false);
        else if (!m_isSetCurrentAsDefaultOutputFolderPath)
            setOutputFolderPath(QStringLiteral(""));
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Settings=>setData:) : %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void Settings::synchronize()
{
    QSettings *s = store();
    try {
        const QVariantMap mine = getData();
        const QVariantMap myChoices = choices();
        // Only what this process changed goes in: an option another process
        // (the other edition, another window) saved meanwhile stays.
        // By value: while another process holds the lock the change waits and runs later.
        updateSharedSettings(s, [mine, myChoices, synced = m_synced, syncedChoices = m_syncedChoices](QSettings *store) {
            const QVariant stored = store->value(kKey);
            QVariantMap merged = stored.typeId() == QMetaType::QVariantMap ? stored.toMap() : QVariantMap();
            for (auto it = mine.cbegin(); it != mine.cend(); ++it) {
                if (!merged.contains(it.key()) || synced.value(it.key()) != it.value())
                    merged.insert(it.key(), it.value());
            }
            store->setValue(kKey, merged);
            // The newer choices have keys of their own; a choice never made leaves the store as it was.
            for (auto it = myChoices.cbegin(); it != myChoices.cend(); ++it) {
                if (syncedChoices.value(it.key()) != it.value())
                    store->setValue(it.key(), it.value());
            }
        });
        m_synced = mine;
        m_syncedChoices = myChoices;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Settings=>synchronize) : %1").arg(QString::fromLocal8Bit(e.what())));
        s->sync();
    }
}

void Settings::encodeWithCoder(QDataStream &out)
{
    out << getData();
}

void Settings::initWithCoder(QDataStream &in)
{
    QVariantMap d;
    in >> d;
    if (in.status() == QDataStream::Ok)
        setData(d);
}

} // namespace quillon
