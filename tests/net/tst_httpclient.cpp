#include "net/LocalHttpServer.h"

#include "net/Compression.h"
#include "net/FormRequest.h"
#include "net/NetworkQueue.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace quillon::net;

Q_DECLARE_METATYPE(quillon::net::Compression)

namespace {

struct FormPart
{
    QByteArray disposition;
    QByteArray contentType;
    QByteArray data;
};

// Splits a multipart/form-data body by the boundary named in its Content-Type.
QList<FormPart> parseMultipart(const QByteArray &contentType, const QByteArray &body)
{
    QList<FormPart> parts;
    const qsizetype at = contentType.indexOf("boundary=");
    if (at < 0)
        return parts;
    const QByteArray delimiter = "--" + contentType.mid(at + 9);
    if (!body.endsWith(delimiter + "--\r\n"))
        return parts;
    const QByteArray rest = body.left(body.size() - delimiter.size() - 4);
    qsizetype pos = 0;
    while ((pos = rest.indexOf(delimiter + "\r\n", pos)) >= 0) {
        const qsizetype start = pos + delimiter.size() + 2;
        qsizetype next = rest.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            next = rest.size() - 2; // last part ends with CRLF before the closing delimiter
        const QByteArray chunk = rest.mid(start, next - start);
        const qsizetype split = chunk.indexOf("\r\n\r\n");
        FormPart part;
        for (const QByteArray &line : chunk.left(split).split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.startsWith("Content-Disposition:"))
                part.disposition = l.mid(20).trimmed();
            else if (l.startsWith("Content-Type:"))
                part.contentType = l.mid(13).trimmed();
        }
        part.data = chunk.mid(split + 4);
        parts.append(part);
        pos = next + 2;
    }
    return parts;
}

QByteArray noise(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    auto *gen = QRandomGenerator::global();
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + gen->bounded(6)); // compressible but not trivial
    return data;
}

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compressionRoundTrip_data();
    void compressionRoundTrip();
    void decompressRejects_data();
    void decompressRejects();
    void decompressAcceptsRawDeflateAndGzipMembers();
    void contentType_data();
    void contentType();
    void defaultTimeoutIsTenSeconds();
    void postsMultipartForm();
    void partNamesCannotBreakHeaders();
    void responseEncodings_data();
    void responseEncodings();
    void failures_data();
    void failures();
    void timeoutCountsSilenceNotDuration();
    void resetDropsPendingRequests();
    void compressedRequestBody();
};

void TestHttpClient::compressionRoundTrip_data()
{
    QTest::addColumn<Compression>("format");
    QTest::addColumn<QByteArray>("data");
    const QByteArray big = noise(3 * 1024 * 1024); // several zlib chunks
    QTest::newRow("gzip empty") << Compression::Gzip << QByteArray();
    QTest::newRow("gzip text") << Compression::Gzip << QByteArray("OK<br>&nbsp;");
    QTest::newRow("gzip large") << Compression::Gzip << big;
    QTest::newRow("deflate empty") << Compression::Deflate << QByteArray();
    QTest::newRow("deflate text") << Compression::Deflate << QByteArray("hello, world");
    QTest::newRow("deflate large") << Compression::Deflate << big;
}

void TestHttpClient::compressionRoundTrip()
{
    QFETCH(Compression, format);
    QFETCH(QByteArray, data);
    QString error;
    const QByteArray packed = compress(data, format, &error);
    QVERIFY2(!packed.isEmpty(), qPrintable(error));
    if (format == Compression::Gzip)
        QVERIFY(packed.startsWith("\x1f\x8b"));
    const auto unpacked = decompress(packed, format, std::numeric_limits<qint64>::max(), &error);
    QVERIFY2(unpacked.has_value(), qPrintable(error));
    QCOMPARE(*unpacked, data);
}

void TestHttpClient::decompressRejects_data()
{
    QTest::addColumn<Compression>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint64>("limit");
    const QByteArray gz = compress(noise(50000), Compression::Gzip);
    const QByteArray zl = compress(noise(50000), Compression::Deflate);
    const qint64 any = std::numeric_limits<qint64>::max();
    QTest::newRow("garbage gzip") << Compression::Gzip << QByteArray("not compressed at all") << any;
    QTest::newRow("truncated gzip") << Compression::Gzip << gz.left(gz.size() / 2) << any;
    QTest::newRow("truncated deflate") << Compression::Deflate << zl.left(zl.size() / 2) << any;
    QTest::newRow("trailing junk") << Compression::Deflate << zl + "junk" << any;
    QTest::newRow("empty input") << Compression::Gzip << QByteArray() << any;
    // 64 MiB of zeros packs into a few tens of KiB: a bomb for a 1 MiB limit.
    QTest::newRow("bomb") << Compression::Gzip << compress(QByteArray(64 * 1024 * 1024, '\0'), Compression::Gzip)
                          << qint64(1024 * 1024);
}

void TestHttpClient::decompressRejects()
{
    QFETCH(Compression, format);
    QFETCH(QByteArray, data);
    QFETCH(qint64, limit);
    QString error;
    QVERIFY(!decompress(data, format, limit, &error).has_value());
    QVERIFY(!error.isEmpty());
}

void TestHttpClient::decompressAcceptsRawDeflateAndGzipMembers()
{
    // A zlib stream minus its 2-byte header and 4-byte trailer is raw deflate.
    const QByteArray zl = compress("raw payload", Compression::Deflate);
    const auto raw = decompress(zl.mid(2, zl.size() - 6), Compression::Deflate);
    QVERIFY(raw.has_value());
    QCOMPARE(*raw, QByteArray("raw payload"));

    const QByteArray two = compress("first,", Compression::Gzip) + compress("second", Compression::Gzip);
    const auto joined = decompress(two, Compression::Gzip);
    QVERIFY(joined.has_value());
    QCOMPARE(*joined, QByteArray("first,second"));
}

void TestHttpClient::contentType_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("png") << QStringLiteral("picture.png") << QStringLiteral("image/png");
    QTest::newRow("upper case") << QStringLiteral("PICTURE.PNG") << QStringLiteral("image/png");
    QTest::newRow("tiff") << QStringLiteral("scan.tif") << QStringLiteral("image/tiff");
    QTest::newRow("xml") << QStringLiteral("data.xml") << QStringLiteral("application/xml");
    QTest::newRow("unknown") << QStringLiteral("file.qzqzqz") << QStringLiteral("application/octet-stream");
    QTest::newRow("no extension") << QStringLiteral("README") << QStringLiteral("application/octet-stream");
}

void TestHttpClient::contentType()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    QCOMPARE(contentTypeForFileName(fileName), expected);
}

void TestHttpClient::defaultTimeoutIsTenSeconds()
{
    NetworkQueue queue;
    QCOMPARE(queue.timeoutInterval(), 10000);
}

void TestHttpClient::postsMultipartForm()
{
    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.respondWith(CannedResponse::text("OK"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Usages.png"));
    static const char raw[] = "\x89PNG\r\n\x1a\n\0 binary \r\n--not a boundary\r\n";
    const QByteArray contents(raw, sizeof raw - 1); // with a NUL byte
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }

    NetworkQueue queue;
    QSignalSpy finished(&queue, &NetworkQueue::requestFinished);
    QSignalSpy failed(&queue, &NetworkQueue::requestFailed);
    QString body;
    int status = 0;
    bool onMainThread = false;
    connect(&queue, &NetworkQueue::requestFinished, this, [&](FormRequest *request) {
        body = request->responseString();
        status = request->responseStatusCode();
        onMainThread = QThread::currentThread() == thread();
    });

    auto *request = new FormRequest(server.url(QStringLiteral("/error/usagesubmit.php?f=12.500000")));
    request->addRequestHeader("UPLOAD_ID", "abc123");
    QVERIFY(request->addFile(path, QStringLiteral("file")));
    queue.addOperation(request);
    QCOMPARE(queue.requestsCount(), 1);
    queue.go();
    QCOMPARE(finished.count(), 0); // never reported from inside go()

    QVERIFY(finished.wait(5000));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(body, QStringLiteral("OK"));
    QCOMPARE(status, 200);
    QVERIFY(onMainThread);
    QCOMPARE(queue.requestsCount(), 0);

    QCOMPARE(server.requests().size(), 1);
    const RecordedRequest &got = server.requests().first();
    QCOMPARE(got.method, QByteArray("POST"));
    QCOMPARE(got.target, QByteArray("/error/usagesubmit.php?f=12.500000"));
    QCOMPARE(got.header("UPLOAD_ID"), QByteArray("abc123"));
    const QByteArray type = got.header("Content-Type");
    QVERIFY2(type.startsWith("multipart/form-data; charset=utf-8; boundary="), type.constData());
    const QList<FormPart> parts = parseMultipart(type, got.body);
    QCOMPARE(parts.size(), 1);
    QCOMPARE(parts[0].disposition, QByteArray("form-data; name=\"file\"; filename=\"Usages.png\""));
    QCOMPARE(parts[0].contentType, QByteArray("image/png"));
    QCOMPARE(parts[0].data, contents);
}

void TestHttpClient::partNamesCannotBreakHeaders()
{
    FormRequest request(QUrl(QStringLiteral("http://127.0.0.1/")));
    request.addRequestHeader("X-Test", "a\r\nInjected: yes");
    request.addData("x", QStringLiteral("evil\"\r\nX-Injected: 1.txt"), QString(), QStringLiteral("file"));
    QCOMPARE(request.requestHeaders().first().second, QByteArray("aInjected: yes"));
    const QList<FormPart> parts = parseMultipart(request.contentTypeHeader(), request.postBody());
    QCOMPARE(parts.size(), 1);
    QCOMPARE(parts[0].disposition, QByteArray("form-data; name=\"file\"; filename=\"evil%22X-Injected: 1.txt\""));
    QCOMPARE(parts[0].contentType, QByteArray("text/plain"));
}

void TestHttpClient::responseEncodings_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("succeeds");
    const QByteArray text("Thanks<br>&nbsp;OK \xc3\xa9");
    QTest::newRow("identity") << QByteArray() << text << true;
    QTest::newRow("gzip") << QByteArray("gzip") << compress(text, Compression::Gzip) << true;
    QTest::newRow("x-gzip") << QByteArray("x-gzip") << compress(text, Compression::Gzip) << true;
    QTest::newRow("deflate") << QByteArray("deflate") << compress(text, Compression::Deflate) << true;
    QTest::newRow("damaged gzip") << QByteArray("gzip") << QByteArray("\x1f\x8b garbage") << false;
    QTest::newRow("unsupported") << QByteArray("br") << text << false;
}

void TestHttpClient::responseEncodings()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, wire);
    QFETCH(bool, succeeds);

    LocalHttpServer server;
    CannedResponse response = CannedResponse::text(wire);
    if (!encoding.isEmpty())
        response.headers.append(qMakePair(QByteArray("Content-Encoding"), encoding));
    server.respondWith(response);

    NetworkQueue queue;
    QSignalSpy finished(&queue, &NetworkQueue::requestFinished);
    QSignalSpy failed(&queue, &NetworkQueue::requestFailed);
    QString body;
    connect(&queue, &NetworkQueue::requestFinished, this,
            [&](FormRequest *request) { body = request->responseString(); });
    queue.addOperation(new FormRequest(server.url(QStringLiteral("/"))));
    queue.go();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + failed.count(), 1, 5000);
    QCOMPARE(finished.count(), succeeds ? 1 : 0);
    if (succeeds)
        QCOMPARE(body, QStringLiteral("Thanks<br>&nbsp;OK \u00e9"));
    QCOMPARE(server.requests().first().header("Accept-Encoding"), QByteArray("gzip, deflate"));
}

void TestHttpClient::failures_data()
{
    QTest::addColumn<int>("kind"); // 0 hang up, 1 silent, 2 too large, 3 nobody listening
    QTest::addColumn<bool>("timedOut");
    QTest::newRow("server hangs up") << 0 << false;
    QTest::newRow("server never answers") << 1 << true;
    QTest::newRow("response too large") << 2 << false;
    QTest::newRow("connection refused") << 3 << false;
}

void TestHttpClient::failures()
{
    QFETCH(int, kind);
    QFETCH(bool, timedOut);

    auto server = std::make_unique<LocalHttpServer>();
    if (kind == 0)
        server->respondWith(CannedResponse::hangUp());
    else if (kind == 1)
        server->respondWith(CannedResponse::silent());
    else
        server->respondWith(CannedResponse::text(QByteArray(4096, 'x')));
    const QUrl url = server->url(QStringLiteral("/upload"));
    if (kind == 3)
        server.reset(); // the port is now closed

    NetworkQueue queue;
    queue.setTimeoutInterval(300);
    queue.setMaxResponseSize(1024);
    QSignalSpy finished(&queue, &NetworkQueue::requestFinished);
    QSignalSpy failed(&queue, &NetworkQueue::requestFailed);
    bool sawTimeout = false;
    QString error;
    connect(&queue, &NetworkQueue::requestFailed, this, [&](FormRequest *request) {
        sawTimeout = request->didTimeOut();
        error = request->errorString();
    });
    QElapsedTimer clock;
    clock.start();
    queue.addOperation(new FormRequest(url));
    queue.go();
    QVERIFY(failed.wait(5000));
    QCOMPARE(finished.count(), 0);
    QCOMPARE(sawTimeout, timedOut);
    QVERIFY(!error.isEmpty());
    if (timedOut)
        QVERIFY(clock.elapsed() >= 240); // coarse timers may fire 5% early
}

void TestHttpClient::timeoutCountsSilenceNotDuration()
{
    LocalHttpServer server;
    CannedResponse response = CannedResponse::text("OK-slowly");
    response.trickleMs = 100; // about 0.9 s in all, never 300 ms of silence
    server.respondWith(response);

    NetworkQueue queue;
    queue.setTimeoutInterval(300);
    QSignalSpy finished(&queue, &NetworkQueue::requestFinished);
    QSignalSpy failed(&queue, &NetworkQueue::requestFailed);
    QString body;
    connect(&queue, &NetworkQueue::requestFinished, this,
            [&](FormRequest *request) { body = request->responseString(); });
    queue.addOperation(new FormRequest(server.url(QStringLiteral("/"))));
    queue.go();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + failed.count(), 1, 5000);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(body, QStringLiteral("OK-slowly"));
}

void TestHttpClient::resetDropsPendingRequests()
{
    LocalHttpServer server;
    server.respondWith(CannedResponse::silent());

    NetworkQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    queue.setTimeoutInterval(200);
    QSignalSpy finished(&queue, &NetworkQueue::requestFinished);
    QSignalSpy failed(&queue, &NetworkQueue::requestFailed);
    QPointer<FormRequest> running = new FormRequest(server.url(QStringLiteral("/a")));
    QPointer<FormRequest> waiting = new FormRequest(server.url(QStringLiteral("/b")));
    queue.addOperation(running);
    queue.addOperation(waiting);
    queue.go();
    QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 5000);
    QCOMPARE(queue.requestsCount(), 2);

    queue.reset();
    QCOMPARE(queue.requestsCount(), 0);
    QVERIFY(!queue.isRunning());
    QTRY_VERIFY(running.isNull() && waiting.isNull());
    // Well past the time-out: a cancelled request reports nothing.
    QTest::qWait(400);
    QCOMPARE(finished.count() + failed.count(), 0);
    QCOMPARE(server.requests().size(), 1);

    // The queue works again after the next go().
    server.respondWith(CannedResponse::text("again"));
    queue.addOperation(new FormRequest(server.url(QStringLiteral("/c"))));
    QTest::qWait(50);
    QCOMPARE(server.requests().size(), 1); // stopped until go()
    queue.go();
    QVERIFY(finished.wait(5000));
    QCOMPARE(server.requests().last().target, QByteArray("/c"));
}

void TestHttpClient::compressedRequestBody()
{
    LocalHttpServer server;
    server.respondWith(CannedResponse::text("OK"));
    NetworkQueue queue;
    QSignalSpy finished(&queue, &NetworkQueue::requestFinished);
    auto *request = new FormRequest(server.url(QStringLiteral("/")));
    request->addData(noise(20000), QStringLiteral("log.txt"), QString(), QStringLiteral("file"));
    request->setShouldCompressRequestBody(true);
    const QByteArray plain = request->postBody();
    queue.addOperation(request);
    queue.go();
    QVERIFY(finished.wait(5000));
    const RecordedRequest &got = server.requests().first();
    QCOMPARE(got.header("Content-Encoding"), QByteArray("gzip"));
    QVERIFY(got.body.size() < plain.size());
    const auto unpacked = decompress(got.body, Compression::Gzip);
    QVERIFY(unpacked.has_value());
    QCOMPARE(*unpacked, plain);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
