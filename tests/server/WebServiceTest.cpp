// crweb as a real process on loopback: every path the program relies on.
#include "ServerProcess.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace corvala::testing;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// A UDP socket on 0.0.0.0 so that it sees datagrams to any loopback address.
class UdpProbeTarget {
public:
    UdpProbeTarget() {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~UdpProbeTarget() { close(fd_); }
    std::string port() const { return std::to_string(port_); }
    // Loopback delivers during the sender's sendto, which crweb finishes
    // before it answers: once the answer is in, every datagram is queued.
    std::vector<std::string> queued() {
        std::vector<std::string> got;
        char buf[2048];
        ssize_t n;
        while ((n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) >= 0) got.emplace_back(buf, static_cast<size_t>(n));
        return got;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

class WebServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A content folder of our own: the shipped pages plus a printer installer.
        content_ = fs::temp_directory_path() / ("crweb-content-" + std::to_string(getpid()));
        fs::remove_all(content_);
        fs::copy(SourceDir() + "/server/web/content", content_, fs::copy_options::recursive);
        std::ofstream(content_ / "download" / "VelmoraPrinterInstall_1.0.0.0.msi", std::ios::binary)
            << std::string("\xD0\xCF\x11\xE0 installer\0bytes", 20);
        start({});
    }
    void TearDown() override { fs::remove_all(content_); }

    void start(std::vector<std::string> extra) {
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--content", content_.string(),
                                      "--file", "/download/corvala=" + BinDir() + "/crweb"};
        args.insert(args.end(), extra.begin(), extra.end());
        server_.reset();
        server_ = std::make_unique<ServerProcess>("crweb", args);
        ASSERT_NE(server_->port(), 0);
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_default_headers({{"User-Agent", "Mozilla/4.0 (compatible; MyApp)"}});
        client_->set_follow_location(true);
    }

    httplib::Result get(const std::string& path) { return client_->Get(path.c_str()); }

    fs::path content_;
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(WebServiceTest, VersionAnswerIsCurrentSlashMinimum) {
    const auto r = get("/download/version.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "42/40");
}

TEST_F(WebServiceTest, ChangeListFallsBackToEnglish) {
    const std::string english = readFile(content_ / "download" / "changes-en.html");
    ASSERT_FALSE(english.empty());
    for (const char* language : {"en", "de", "pt-BR"}) {
        const auto r = get(std::string("/download/changes-") + language + ".html");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << language;
        EXPECT_EQ(r->body, english) << language;
    }
}

TEST_F(WebServiceTest, DownloadsAreServedWhole) {
    const struct {
        const char* path;
        fs::path file;
    } files[]{{"/download/corvala", fs::path(BinDir()) / "crweb"},
              {"/download/VelmoraPrinterInstall_1.0.0.0.msi", content_ / "download" / "VelmoraPrinterInstall_1.0.0.0.msi"}};
    for (const auto& f : files) {
        const auto r = get(f.path);
        ASSERT_TRUE(r) << f.path;
        EXPECT_EQ(r->status, 200) << f.path;
        EXPECT_EQ(r->body, readFile(f.file)) << f.path;
    }
    // A mapped path is taken literally, not as a pattern.
    EXPECT_EQ(get("/download/corvalaX")->status, 404);
}

TEST_F(WebServiceTest, MappedPathsWithPatternCharactersMatchOnlyThemselves) {
    start({"--file", "/download/setup-1.0+x.bin=" + BinDir() + "/crweb"});
    EXPECT_EQ(get("/download/setup-1.0+x.bin")->status, 200);
    EXPECT_EQ(get("/download/setup-1a00xzbin")->status, 404);
}

TEST_F(WebServiceTest, PagesOpenedInTheBrowserExist) {
    for (const char* path : {"/downloads/", "/eula/", "/manual/", "/manual/customization.htm",
                             "/manual/port-forwarding.htm", "/manual/wake-on-lan.htm"}) {
        const auto r = get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 200) << path;
        EXPECT_NE(r->get_header_value("Content-Type").find("text/html"), std::string::npos) << path;
        EXPECT_NE(r->body.find("<h1>"), std::string::npos) << path;
    }
}

TEST_F(WebServiceTest, NothingOutsideTheContentFolder) {
    for (const char* path : {"/../../../../etc/passwd", "/download/..%2F..%2F..%2Fetc%2Fpasswd", "/nothing-here"}) {
        const auto r = get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 404) << path;
    }
}

TEST_F(WebServiceTest, IpCheckAnswersTheCallersAddress) {
    const auto r = get("/ip-check.php");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "127.0.0.1");
}

TEST_F(WebServiceTest, CountryComesFromTheDatabaseElseXX) {
    if (!fs::exists("/usr/share/GeoIP/GeoIP.dat")) GTEST_SKIP() << "no GeoIP country database installed";
    EXPECT_EQ(get("/country-check.php?ip=8.8.8.8")->body, "US");
    for (const char* ip : {"127.0.0.1", "", "not-an-address", "2001:db8::1", "8.8.8.8.8"})
        EXPECT_EQ(get(std::string("/country-check.php?ip=") + ip)->body, "XX") << ip;
}

TEST_F(WebServiceTest, CountryIsXXWithoutADatabase) {
    start({"--geoip", "none"});
    const auto r = get("/country-check.php?ip=8.8.8.8");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "XX");
}

TEST_F(WebServiceTest, TurnCheckSendsOneDatagramToTheCallersAddressOnly) {
    UdpProbeTarget target;
    const std::string port = target.port();
    const struct {
        std::string query;
        int status;
    } refused[]{{"server_ip=::1&server_port=" + port, 400},
                {"server_ip=localhost&server_port=" + port, 400},
                {"server_ip=127.1&server_port=" + port, 400},
                {"server_ip=255.255.255.255&server_port=" + port, 400},
                {"server_ip=224.0.0.1&server_port=" + port, 400},
                {"server_ip=127.0.0.1&server_port=0", 400},
                {"server_ip=127.0.0.1&server_port=70000", 400},
                {"server_ip=127.0.0.1&server_port=12ab", 400},
                {"server_ip=127.0.0.1", 400},
                {"server_ip=127.0.0.2&server_port=" + port, 403}};
    for (const auto& r : refused) {
        const auto answer = get("/turn-check.php?" + r.query);
        ASSERT_TRUE(answer) << r.query;
        EXPECT_EQ(answer->status, r.status) << r.query;
    }
    EXPECT_TRUE(target.queued().empty());

    const auto answer = get("/turn-check.php?server_ip=127.0.0.1&server_port=" + port);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(target.queued(), std::vector<std::string>{"corvala turn-check\n"});
}

TEST_F(WebServiceTest, TurnCheckIsRateLimitedPerCaller) {
    start({"--turn-check-burst", "2", "--turn-check-rate", "1"});
    UdpProbeTarget target;
    const std::string path = "/turn-check.php?server_ip=127.0.0.1&server_port=" + target.port();
    std::vector<int> statuses;
    for (int i = 0; i < 5; ++i) statuses.push_back(get(path)->status);
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 429, 429, 429}));
    EXPECT_EQ(target.queued().size(), 2u);
}

TEST_F(WebServiceTest, AnyTargetOptionAllowsOtherAddresses) {
    start({"--turn-check-any-target"});
    UdpProbeTarget target;
    EXPECT_EQ(get("/turn-check.php?server_ip=127.0.0.2&server_port=" + target.port())->status, 200);
    EXPECT_EQ(target.queued().size(), 1u);
}

TEST(WebServiceOptions, HelpListsTheOptionsAndBadOptionsFail) {
    int exitCode = -1;
    const std::string text = RunProgram("crweb", "--help", exitCode);
    EXPECT_EQ(exitCode, 0);
    for (const char* option : {"--port", "--content", "--file", "--geoip", "--turn-check-rate", "--turn-check-any-target",
                               "--chunked-file", "--file-rate", "--cert", "--key"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
    for (const char* bad : {"--content /nonexistent-folder", "--file nopath", "--port x", "--turn-check-rate 0",
                            "--chunked-file nopath", "--file-rate 0", "--cert server.pem", "--key server.key"}) {
        RunProgram("crweb", std::string(bad) + " 2>/dev/null", exitCode);
        EXPECT_EQ(exitCode, 2) << bad;
    }
}

}  // namespace
