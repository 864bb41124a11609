// The web client, the update and the printer driver's download against the
// real crweb over TLS (the development PKI) on loopback: what arrives, what
// the progress shows, what an abort or a refusal leaves behind, and what the
// update does with the site's answers.

#include <gtest/gtest.h>

#include <httplib.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <thread>

#include "ServerProcess.h"
#include "UpdateTestSupport.h"
#include "features/PrinterDriverDownload.h"
#include "fakes/QtTestApplication.h"
#include "update/Update.h"
#include "web/HttpClient.h"

namespace corvala {
namespace {

namespace fs = std::filesystem;
using testing::PkiFile;
using testing::ServerProcess;
using namespace update_test;

// One transfer run to its end on this (the main) thread.
struct Fetched {
    web::HttpResult result;
    std::vector<web::HttpProgress> progress;
};

Fetched Fetch(const web::HttpRequest& request, std::function<void(web::HttpTransfer&)> onProgress = {}) {
    Fetched fetched;
    bool done = false;
    web::HttpTransfer* self = nullptr;
    web::HttpTransfer transfer(
        request,
        [&](const web::HttpProgress& p) {
            fetched.progress.push_back(p);
            if (onProgress) onProgress(*self);
        },
        [&](const web::HttpResult& r) {
            fetched.result = r;
            done = true;
        });
    self = &transfer;
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 60000)) << "the transfer did not end";
    return fetched;
}

class WebClientTest : public ::testing::Test {
protected:
    QString Root() const { return QString::fromStdString(PkiFile("ca.pem")); }
    QString Target() const { return scratch.filePath("target.bin"); }
    QTemporaryDir scratch;
    WebSite site;
};

TEST_F(WebClientTest, FetchesIntoMemoryAndIntoAFileOverTls) {
    const std::string program = Pattern(700 * 1024);
    WriteFile(site.File("program"), program);
    ASSERT_TRUE(site.Start({"--file", "/download/program=" + site.File("program").string()}));

    const Fetched version = Fetch({site.Address() + "/download/version.html", Root(), 256, {}});
    ASSERT_TRUE(version.result.Ok) << version.result.Error.toStdString();
    EXPECT_EQ(version.result.Body, QByteArray("42/40"));
    EXPECT_EQ(version.result.Status, 200);

    const Fetched file = Fetch({site.Address() + "/download/program", Root(), 1 << 20, Target()});
    ASSERT_TRUE(file.result.Ok) << file.result.Error.toStdString();
    EXPECT_TRUE(file.result.Body.isEmpty()) << "a file download keeps nothing in memory";
    EXPECT_EQ(ReadFile(Target().toStdString()), program);
    EXPECT_FALSE(QFileInfo::exists(Target() + ".part"));
    ASSERT_FALSE(file.progress.empty());
    EXPECT_EQ(file.progress.back().Received, qint64(program.size()));
    EXPECT_EQ(file.progress.back().ContentLength, qint64(program.size()));
    EXPECT_EQ(web::ProgressPercent(file.progress.back()), 100);
    for (size_t i = 1; i < file.progress.size(); ++i)
        EXPECT_GE(file.progress[i].Received, file.progress[i - 1].Received);
}

TEST_F(WebClientTest, ChunkedResponseArrivesWholeWithoutAPercentage) {
    const std::string program = Pattern(300 * 1024);
    WriteFile(site.File("program"), program);
    ASSERT_TRUE(site.Start({"--chunked-file", "/download/program=" + site.File("program").string()}));
    const Fetched file = Fetch({site.Address() + "/download/program", Root(), 1 << 20, Target()});
    ASSERT_TRUE(file.result.Ok) << file.result.Error.toStdString();
    EXPECT_EQ(ReadFile(Target().toStdString()), program);
    ASSERT_FALSE(file.progress.empty());
    for (const web::HttpProgress& p : file.progress) {
        EXPECT_TRUE(p.Chunked);
        EXPECT_EQ(web::ProgressPercent(p), std::nullopt);
    }
}

TEST_F(WebClientTest, FailuresLeaveNoFileBehind) {
    WriteFile(site.File("program"), Pattern(200 * 1024));
    const std::vector<std::string> files{"--file", "/download/program=" + site.File("program").string(),
                                         "--chunked-file", "/download/chunked=" + site.File("program").string()};
    struct Case {
        const char* name;
        const char* chain;
        const char* key;
        const char* path;
        qint64 maxBytes;
    } const cases[] = {
        {"a server the program's root does not vouch for", "other-server.pem", "other-server.key",
         "/download/program", 1 << 20},
        {"an announced length beyond the limit", "server.pem", "server.key", "/download/program", 100 * 1024},
        {"a chunked body beyond the limit", "server.pem", "server.key", "/download/chunked", 100 * 1024},
        {"a missing file", "server.pem", "server.key", "/download/none", 1 << 20},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(site.Start(files, c.chain, c.key)) << c.name;
        const Fetched file = Fetch({site.Address() + c.path, Root(), c.maxBytes, Target()});
        EXPECT_FALSE(file.result.Ok) << c.name;
        EXPECT_FALSE(file.result.Error.isEmpty()) << c.name;
        EXPECT_FALSE(QFileInfo::exists(Target())) << c.name;
        EXPECT_FALSE(QFileInfo::exists(Target() + ".part")) << c.name;
    }
}

TEST_F(WebClientTest, AbortStopsTheTransferAndRemovesThePartialFile) {
    WriteFile(site.File("program"), Pattern(2 * 1024 * 1024));
    ASSERT_TRUE(site.Start({"--file", "/download/program=" + site.File("program").string(), "--file-rate", "400000"}));
    const Fetched file = Fetch({site.Address() + "/download/program", Root(), 4 << 20, Target()},
                               [](web::HttpTransfer& transfer) { transfer.Abort(); });
    EXPECT_FALSE(file.result.Ok);
    EXPECT_TRUE(file.result.Aborted);
    EXPECT_FALSE(QFileInfo::exists(Target()));
    EXPECT_FALSE(QFileInfo::exists(Target() + ".part"));
}

// A server in the test, plain HTTP or (with the development PKI's server
// certificate) HTTPS: each "/hop/N" sends the client on to "/hop/N-1",
// "/hop/0" answers with the user agent it was asked with, and "/away?to=URL"
// sends it to URL.
class HopServer {
public:
    explicit HopServer(bool tls = false)
        : server_(tls ? std::make_unique<httplib::SSLServer>(PkiFile("server.pem").c_str(),
                                                             PkiFile("server.key").c_str())
                      : std::make_unique<httplib::Server>()),
          scheme_(tls ? "https" : "http") {
        httplib::Server& server = *server_;
        server.Get("/away", [](const httplib::Request& request, httplib::Response& response) {
            response.set_redirect(request.get_param_value("to"));
        });
        server.Get(R"(/hop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            const int left = std::stoi(request.matches[1]);
            if (left > 0) response.set_redirect("/hop/" + std::to_string(left - 1));
            else response.set_content(request.get_header_value("User-Agent"), "text/plain");
        });
        port_ = server.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        for (int i = 0; i < 5000 && port_ > 0 && !server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~HopServer() {
        server_->stop();
        thread_.join();
    }
    QString Url(int hops) const { return QString("%1://127.0.0.1:%2/hop/%3").arg(scheme_).arg(port_).arg(hops); }
    QString Away(const QString& to) const {
        return QString("%1://127.0.0.1:%2/away?to=%3").arg(scheme_).arg(port_).arg(to);
    }

private:
    std::unique_ptr<httplib::Server> server_;
    QString scheme_;
    int port_ = 0;
    std::thread thread_;
};

TEST(WebClientRequests, CarryTheUserAgentAndFollowAtMostTenRedirections) {
    HopServer server;
    const Fetched direct = Fetch({server.Url(0), {}, 256, {}});
    ASSERT_TRUE(direct.result.Ok) << direct.result.Error.toStdString();
    EXPECT_EQ(direct.result.Body, QByteArray("Mozilla/4.0 (compatible; MyApp)"));
    EXPECT_TRUE(Fetch({server.Url(10), {}, 256, {}}).result.Ok);
    const Fetched tooMany = Fetch({server.Url(11), {}, 256, {}});
    EXPECT_FALSE(tooMany.result.Ok);
    EXPECT_TRUE(tooMany.result.Body.isEmpty());
}

TEST(WebClientRequests, NeverLeaveTlsOnARedirection) {
    HopServer secure(true), plain;
    const QString root = QString::fromStdString(PkiFile("ca.pem"));
    EXPECT_TRUE(Fetch({secure.Away(secure.Url(0)), root, 256, {}}).result.Ok) << "https to https is followed";
    const Fetched downgraded = Fetch({secure.Away(plain.Url(0)), root, 256, {}});
    EXPECT_FALSE(downgraded.result.Ok) << "https to http is refused";
    EXPECT_TRUE(downgraded.result.Body.isEmpty());
}

// ---- the printer driver's download -----------------------------------------------

class RecordingPrinterEvents : public IPrinterDownloadEvents {
public:
    QStringList calls;
    std::vector<int> percents;
    bool answer = true;
    std::function<void()> onProgress;
    bool ConfirmPrinterDownload(const QString& text) override {
        calls << "Confirm " + text;
        return answer;
    }
    void ShowPrinterDownload(const QString& caption, const QString& status) override {
        calls << "Show " + caption + " | " + status;
    }
    void SetPrinterProgress(int percent) override {
        percents.push_back(percent);
        if (onProgress && percent > 0) onProgress();
    }
    void ClosePrinterDownload() override { calls << "Close"; }
    void ShowPrinterError(const QString& text) override { calls << "Error " + text; }
    bool EventsSuspended() const override { return false; }
    void OpenFile(const QString& path) override { calls << "Open " + path; }
};

class PrinterDownloadTest : public ::testing::Test {
protected:
    // `kind`: "--file" or "--chunked-file"; `rate`: bytes per second.
    void Start(const std::string& kind, const std::string& rate) {
        WriteFile(site.File("installer"), installer);
        const std::string mapped = "/download/VelmoraPrinterInstall_1.0.0.0.msi=" + site.File("installer").string();
        ASSERT_TRUE(site.Start({kind, mapped, "--file-rate", rate}));
        download = std::make_unique<TPrinterDriverDownload>(
            PrinterDownloadConfig{site.Address(), program.path(), QString::fromStdString(PkiFile("ca.pem"))}, events);
    }
    bool Finished() {
        bool finished = false;
        QObject::connect(download.get(), &TPrinterDriverDownload::DownloadFinished, [&] { finished = true; });
        return QTest::qWaitFor([&] { return finished; }, 60000);
    }
    QString Installer() const { return program.filePath("VelmoraPrinterInstall_1.0.0.0.msi"); }

    const std::string installer = Pattern(1024 * 1024);
    QTemporaryDir program;
    WebSite site;
    RecordingPrinterEvents events;
    std::unique_ptr<TPrinterDriverDownload> download;
};

TEST_F(PrinterDownloadTest, ShowsProgressRunsTheInstallerAndLaterRunsItWithoutAsking) {
    Start("--file", "2000000");
    download->MenuClick();
    ASSERT_TRUE(Finished());
    ASSERT_EQ(events.calls.size(), 4) << events.calls.join('\n').toStdString();
    EXPECT_TRUE(events.calls[0].startsWith("Confirm Velmora Printer allows you to print"));
    EXPECT_TRUE(events.calls[0].endsWith("\nDo you want to download and install Velmora Printer driver?"));
    EXPECT_EQ(events.calls[1], "Show Downloading Velmora Printer driver | Downloading Velmora Printer driver. Please wait...");
    EXPECT_EQ(events.calls[2], "Open " + Installer());
    EXPECT_EQ(events.calls[3], "Close");
    EXPECT_EQ(ReadFile(Installer().toStdString()), installer);
    // The bar starts at 0, rises through values in between and ends full.
    ASSERT_GE(events.percents.size(), 3u);
    EXPECT_EQ(events.percents.front(), 0);
    EXPECT_EQ(events.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(events.percents.begin(), events.percents.end()));
    EXPECT_TRUE(std::any_of(events.percents.begin(), events.percents.end(), [](int p) { return p > 0 && p < 100; }));

    events.calls.clear();
    download->MenuClick();
    EXPECT_EQ(events.calls, QStringList{"Open " + Installer()}) << "the second use asks nothing";
}

TEST_F(PrinterDownloadTest, AbortRemovesThePartialInstaller) {
    Start("--file", "200000");
    events.onProgress = [this] { download->AbortClick(); };
    download->MenuClick();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(events.calls.mid(2), (QStringList{"Error Please check Internet connection.", "Close"}));
    EXPECT_FALSE(QFileInfo::exists(Installer()));
    EXPECT_FALSE(QFileInfo::exists(Installer() + ".part"));
    // Nothing to run next time: the entry asks again.
    events.calls.clear();
    events.answer = false;
    download->MenuClick();
    ASSERT_EQ(events.calls.size(), 1);
    EXPECT_TRUE(events.calls[0].startsWith("Confirm "));
}

TEST_F(PrinterDownloadTest, ChunkedResponseLeavesTheBarAtZero) {
    Start("--chunked-file", "4000000");
    download->MenuClick();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(events.percents, std::vector<int>{0});
    EXPECT_EQ(events.calls.mid(2), (QStringList{"Open " + Installer(), "Close"}));
    EXPECT_EQ(ReadFile(Installer().toStdString()), installer);
}

TEST_F(PrinterDownloadTest, UnreachableSiteShowsTheNotice) {
    download = std::make_unique<TPrinterDriverDownload>(
        PrinterDownloadConfig{"https://127.0.0.1:9", program.path(), QString::fromStdString(PkiFile("ca.pem"))}, events);
    download->MenuClick();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(events.calls.mid(2), (QStringList{"Error Please check Internet connection.", "Close"}));
    EXPECT_FALSE(QFileInfo::exists(Installer()));
}

// ---- the update --------------------------------------------------------------------

class RecordingUpdateEvents : public update::IUpdateEvents {
public:
    QStringList calls;
    std::vector<int> percents;
    bool autostart = false;
    std::function<void()> onProgress;
    void ShowUpdateTool(const QString& hint) override { calls << "Tool " + hint; }
    void ShowUpdateNotice(const QString& heading, bool offer) override {
        calls << QString(offer ? "Offer " : "OutOfDate ") + heading;
    }
    void SetUpdateButton(const char* key) override { calls << QString("Button ") + key; }
    void SetUpdateProgress(int percent) override {
        percents.push_back(percent);
        if (onProgress && percent > 0) onProgress();
    }
    void SetBusyCursor(bool) override {}
    bool AutostartMarkerExists() const override { return autostart; }
    bool EventsSuspended() const override { return false; }
    void ShowUpdateWarning(const QString& text) override { calls << "Warning " + text; }
    void EndRelayProcesses() override { calls << "EndRelay"; }
    void OpenWebAddress(const QString& address) override { calls << "OpenWeb " + address; }
    bool StartProgram(const QString& path, const QString& parameters) override {
        calls << "Start " + path + " " + parameters;
        return true;
    }
    void CloseForUpdate() override { calls << "Close"; }
};

class UpdateTest : public ::testing::Test {
protected:
    // The site serves `served` as the newest program and `signature` beside it.
    void Start(const std::string& answer, const std::string& served, const std::optional<std::string>& signature,
               std::vector<std::string> extra = {}) {
        site.SetVersionAnswer(answer);
        WriteFile(site.File("program"), served);
        extra.insert(extra.end(), {"--file", "/download/corvala=" + site.File("program").string()});
        if (signature) {
            WriteFile(site.File("program.sig"), *signature);
            extra.insert(extra.end(), {"--file", "/download/corvala.sig=" + site.File("program.sig").string()});
        }
        ASSERT_TRUE(site.Start(extra));
        update::UpdateConfig config{site.Address(), program.path(), QString::fromStdString(PkiFile("ca.pem")), "de",
                                    42, publisher.PublicPem()};
        update = std::make_unique<update::TUpdate>(config, events);
    }
    void Check() {
        bool finished = false;
        QObject::connect(update.get(), &update::TUpdate::CheckFinished, [&] { finished = true; });
        update->StartCheck();
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 30000));
    }
    bool Closed() {
        return QTest::qWaitFor([&] { return !events.calls.isEmpty() && events.calls.back() == "Close"; }, 60000);
    }
    QString UpdateFile() const { return program.filePath("cr_update"); }

    const std::string newProgram = "#!/bin/sh\n# the new version\n" + Pattern(600 * 1024);
    SigningKey publisher;
    QTemporaryDir program;
    WebSite site;
    RecordingUpdateEvents events;
    std::unique_ptr<update::TUpdate> update;
};

TEST_F(UpdateTest, VersionAnswersGiveTheirOutcomes) {
    const QString whatsNew = "\n\nWhat's new:\nCorvala 4.2 for Linux desktops";
    struct Case {
        const char* answer;
        QStringList calls;
        bool downloadPending;
    } const cases[] = {
        {"43/40", {"Tool The new version 4.3 is available"}, false},
        {"43/43",
         {"OutOfDate This version of the software is out of date. You must download the current version 4.3 to "
          "continue using the software." +
          whatsNew},
         true},
        {"42/40", {}, false},
        {"100/40", {"Tool The new version 10.0 is available"}, false},
        {"abc", {}, false},
    };
    for (const Case& c : cases) {
        events.calls.clear();
        Start(c.answer, newProgram, std::nullopt);
        Check();
        ASSERT_GE(events.calls.size(), c.calls.size()) << c.answer;
        for (qsizetype i = 0; i < c.calls.size(); ++i)
            EXPECT_TRUE(events.calls[i].startsWith(c.calls[i])) << c.answer << ": " << events.calls[i].toStdString();
        EXPECT_EQ(events.calls.size(), c.calls.size()) << c.answer;
        EXPECT_EQ(update->DownloadPending(), c.downloadPending) << c.answer;
    }
}

TEST_F(UpdateTest, OfferShowsWhatsNewAndTheSignedDownloadStarts) {
    Start("43/40", newProgram, publisher.Sign(newProgram), {"--file-rate", "3000000"});
    Check();
    EXPECT_FALSE(update->MainButtonClick()) << "before the offer is shown the button connects";
    update->OfferClick();
    ASSERT_EQ(events.calls.size(), 2);
    EXPECT_TRUE(events.calls[1].startsWith(
        "Offer The new version 4.3 is available.\n\nWhat's new:\nCorvala 4.2 for Linux desktops\n"));
    EXPECT_TRUE(update->DownloadPending());

    EXPECT_TRUE(update->MainButtonClick());
    ASSERT_TRUE(Closed()) << events.calls.join('\n').toStdString();
    EXPECT_EQ(events.calls.mid(2),
              (QStringList{"EndRelay", "Button Abort", "Start " + UpdateFile() + " /from_application", "Close"}));
    EXPECT_EQ(ReadFile(UpdateFile().toStdString()), newProgram);
    EXPECT_TRUE(QFileInfo(UpdateFile()).isExecutable());
    EXPECT_EQ(events.percents.front(), 0);
    EXPECT_EQ(events.percents.back(), 100);
}

TEST_F(UpdateTest, DownloadWithoutAValidSignatureIsDeletedAndNotStarted) {
    std::string tampered = newProgram;
    tampered[100] ^= 1;
    std::string badSignature = publisher.Sign(newProgram);
    badSignature[3] ^= 1;
    const SigningKey stranger;
    struct Case {
        const char* name;
        std::string served;
        std::optional<std::string> signature;
    } const cases[] = {
        {"tampered executable", tampered, publisher.Sign(newProgram)},
        {"tampered signature", newProgram, badSignature},
        {"signed by someone else", newProgram, stranger.Sign(newProgram)},
        {"no signature", newProgram, std::nullopt},
    };
    for (const Case& c : cases) {
        events.calls.clear();
        Start("43/43", c.served, c.signature);
        Check();
        EXPECT_TRUE(update->MainButtonClick());
        ASSERT_TRUE(Closed()) << c.name;
        EXPECT_EQ(events.calls.mid(1),
                  (QStringList{"EndRelay", "Button Abort",
                               "Warning The downloaded update is not signed by the publisher. It was deleted and not "
                               "started.",
                               "OpenWeb " + site.Address() + "/downloads/", "Close"}))
            << c.name;
        EXPECT_FALSE(QFileInfo::exists(UpdateFile())) << c.name;
    }
}

TEST_F(UpdateTest, AbortOpensTheDownloadPageAndCloses) {
    Start("43/43", newProgram, publisher.Sign(newProgram), {"--file-rate", "200000"});
    Check();
    events.onProgress = [this] { update->MainButtonClick(); };
    EXPECT_TRUE(update->MainButtonClick());
    ASSERT_TRUE(Closed());
    EXPECT_EQ(events.calls.mid(1),
              (QStringList{"EndRelay", "Button Abort", "OpenWeb " + site.Address() + "/downloads/", "Close"}));
    EXPECT_FALSE(QFileInfo::exists(UpdateFile()));
    EXPECT_FALSE(QFileInfo::exists(UpdateFile() + ".part"));
}

TEST_F(UpdateTest, AutomaticStartBlocksTheDownload) {
    Start("43/43", newProgram, publisher.Sign(newProgram));
    Check();
    events.autostart = true;
    EXPECT_TRUE(update->MainButtonClick());
    EXPECT_EQ(events.calls.mid(1), QStringList{"Warning Please disable autostart!"});
    EXPECT_TRUE(update->DownloadPending()) << "the button still reads \"Download\"";
}

}  // namespace
}  // namespace corvala
