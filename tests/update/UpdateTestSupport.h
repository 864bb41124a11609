#pragma once
// What the update's tests share: a publisher's signing key made for the
// test, files written and read whole, and a web site of the test's own that
// the real crweb serves over TLS with the development PKI.

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ServerProcess.h"

namespace corvala::update_test {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Bytes that differ along their length, so that a piece out of place shows.
inline std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + i / 977) & 0xFF);
    return bytes;
}

// An Ed25519 key pair, signing as the build signs (over the whole file).
class SigningKey {
public:
    SigningKey() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {}
    ~SigningKey() { EVP_PKEY_free(key_); }
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    std::string PublicPem() const {
        BIO* bio = BIO_new(BIO_s_mem());
        PEM_write_bio_PUBKEY(bio, key_);
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio, &data);
        std::string pem(data, size_t(size));
        BIO_free(bio);
        return pem;
    }
    std::string Sign(const std::string& message) const {
        EVP_MD_CTX* context = EVP_MD_CTX_new();
        std::string signature(64, '\0');
        size_t size = signature.size();
        EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key_);
        EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
        EVP_MD_CTX_free(context);
        return signature;
    }

private:
    EVP_PKEY* key_;
};

// The shipped pages in a folder of the test's own, and crweb serving them.
class WebSite {
public:
    WebSite() {
        std::filesystem::copy(testing::SourceDir() + "/server/web/content", Content(),
                              std::filesystem::copy_options::recursive);
    }
    std::filesystem::path Content() const { return File("content"); }
    std::filesystem::path File(const std::string& name) const {
        return std::filesystem::path(folder.path().toStdString()) / name;
    }
    void SetVersionAnswer(const std::string& answer) const {
        WriteFile(Content() / "download" / "version.html", answer);
    }

    // `extra`: crweb options beyond the content folder and the certificate
    // chain (a file of the development PKI). False when it did not start.
    bool Start(std::vector<std::string> extra = {}, const std::string& chain = "server.pem",
               const std::string& key = "server.key") {
        std::vector<std::string> args{"--port", "0", "--bind", "127.0.0.1", "--content", Content().string(),
                                      "--geoip", "none", "--cert", testing::PkiFile(chain), "--key",
                                      testing::PkiFile(key)};
        args.insert(args.end(), extra.begin(), extra.end());
        server.reset();
        server = std::make_unique<testing::ServerProcess>("crweb", args);
        return server->port() != 0;
    }
    QString Address() const { return QString("https://127.0.0.1:%1").arg(server->port()); }

private:
    QTemporaryDir folder;
    std::unique_ptr<testing::ServerProcess> server;
};

}  // namespace corvala::update_test
