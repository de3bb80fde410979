#pragma once
// Small simulator peers for the client library's tests: listeners on a Unix-domain socket and on
// loopback TCP, a connected peer that reads exact byte counts and writes raw bytes, a builder of
// little-endian bytes, and a scope that points every folder the library reads into a temp folder.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simlink/simconnect/simconnect.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

using Bytes = std::vector<std::uint8_t>;

// Appends little-endian fields by hand, independently of the library's packer.
class ByteWriter {
public:
    ByteWriter& u32(std::uint32_t value);
    ByteWriter& f32(float value);
    ByteWriter& f64(double value);
    ByteWriter& i64(std::int64_t value);
    // The text, then zeros up to fieldSize bytes.
    ByteWriter& text(const std::string& value, std::size_t fieldSize);
    ByteWriter& zeros(std::size_t count);
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// A connected socket of the peer side.
class PeerConnection {
public:
    explicit PeerConnection(int fd) : fd_(fd) {}
    ~PeerConnection();
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    // Exactly count bytes, or fewer when the stream ends or 5 s pass without data.
    Bytes read(std::size_t count);
    void write(const Bytes& bytes);
    void close();

private:
    int fd_;
};

class Listener {
public:
    // A Unix-domain stream socket listening at path.
    static std::unique_ptr<Listener> unixAt(const std::filesystem::path& path);
    // A TCP socket on the loopback address of the family (AF_INET, AF_INET6), port 0 = any free
    // port; nothing when the family is not available. listen = false binds without listening,
    // which keeps the port taken while every connect to it is refused.
    static std::unique_ptr<Listener> tcp(int family, bool listen = true);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    std::string port() const { return std::to_string(port_); }
    // The next connection, waiting at most 5 s.
    std::unique_ptr<PeerConnection> accept();
    // Whether a connection waits to be accepted (does not wait).
    bool hasPendingConnection();

private:
    Listener(int fd, int port) : fd_(fd), port_(port) {}
    int fd_;
    int port_;
};

// Points the runtime folder, both documents folders, the registry file and the current directory
// into a fresh temporary folder.
class SimFolders {
public:
    SimFolders();
    const std::filesystem::path& root() const { return dir_.path(); }
    std::filesystem::path defaultPipePath() const;
    std::filesystem::path publicDocuments() const { return root() / "public"; }
    std::filesystem::path documents() const { return root() / "documents"; }
    std::filesystem::path registryFile() const { return root() / "registry.txt"; }

private:
    TempDir dir_{true};
    ScopedEnv runtime_;
    ScopedEnv documents_;
    ScopedEnv publicDocuments_;
    ScopedEnv registry_;
};

// A client connected over the default pipe to a peer that has already read the open packet;
// closed again at the end of the test.
class ConnectedClientTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    SimFolders folders;
    std::unique_ptr<Listener> listener;
    SimNotifyEvent event;
    HANDLE handle = nullptr;
    std::unique_ptr<PeerConnection> peer;
    Bytes openPacket;
};

// The bytes of one simulator message: size, version, id, then the body.
Bytes simMessage(std::uint32_t id, const Bytes& body);

}  // namespace corv_test
