#include "tests/simlink/simconnect_test_peer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace corv_test {

ByteWriter& ByteWriter::u32(std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::f32(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    return u32(bits);
}

ByteWriter& ByteWriter::f64(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    return i64(static_cast<std::int64_t>(bits));
}

ByteWriter& ByteWriter::i64(std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    u32(static_cast<std::uint32_t>(bits));
    return u32(static_cast<std::uint32_t>(bits >> 32));
}

ByteWriter& ByteWriter::text(const std::string& value, std::size_t fieldSize)
{
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return zeros(fieldSize - value.size());
}

ByteWriter& ByteWriter::zeros(std::size_t count)
{
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
}

PeerConnection::~PeerConnection()
{
    close();
}

Bytes PeerConnection::read(std::size_t count)
{
    Bytes bytes(count);
    std::size_t got = 0;
    while (got < count) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 5000) <= 0)
            break;
        const ssize_t n = ::recv(fd_, bytes.data() + got, count - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

void PeerConnection::write(const Bytes& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("peer write failed");
        sent += static_cast<std::size_t>(n);
    }
}

void PeerConnection::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::unique_ptr<Listener> Listener::unixAt(const std::filesystem::path& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen at " + path.string());
    }
    return std::unique_ptr<Listener>(new Listener(fd, 0));
}

std::unique_ptr<Listener> Listener::tcp(int family, bool listen)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof(sockaddr_in);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || (listen && ::listen(fd, 8) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        ::close(fd);
        return nullptr;
    }
    const int port = family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    return std::unique_ptr<Listener>(new Listener(fd, port));
}

Listener::~Listener()
{
    ::close(fd_);
}

std::unique_ptr<PeerConnection> Listener::accept()
{
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 5000) <= 0)
        return nullptr;
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? nullptr : std::make_unique<PeerConnection>(fd);
}

bool Listener::hasPendingConnection()
{
    pollfd pfd{fd_, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
}

SimFolders::SimFolders()
    : runtime_("XDG_RUNTIME_DIR", dir_.path().string()),
      documents_("XDG_DOCUMENTS_DIR", (dir_.path() / "documents").string()),
      publicDocuments_("CORV_PUBLIC_DOCUMENTS", (dir_.path() / "public").string()),
      registry_("CORV_REGISTRY_FILE", (dir_.path() / "registry.txt").string())
{
    std::filesystem::create_directories(documents());
    std::filesystem::create_directories(publicDocuments());
}

std::filesystem::path SimFolders::defaultPipePath() const
{
    return root() / "__._pipe_Lockheed_Martin_Prepar3D_v5_SimConnect.sock";
}

void ConnectedClientTest::SetUp()
{
    listener = Listener::unixAt(folders.defaultPipePath());
    ASSERT_EQ(SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, &event, 0), S_OK);
    peer = listener->accept();
    ASSERT_NE(peer, nullptr);
    openPacket = peer->read(296);
}

void ConnectedClientTest::TearDown()
{
    if (handle != nullptr) {
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    }
}

Bytes simMessage(std::uint32_t id, const Bytes& body)
{
    ByteWriter writer;
    writer.u32(static_cast<std::uint32_t>(12 + body.size())).u32(4).u32(id);
    Bytes bytes = writer.bytes();
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

}  // namespace corv_test
