// Finding the simulator: SimConnect.cfg, the registry ports and the order of the endpoints, against
// real listeners on a Unix-domain socket and on loopback TCP.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "platform/registry.hpp"
#include "simlink/simconnect/config.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"

using namespace corv_test;
using namespace vald::simconnect;

namespace {

const char* const PORT_KEY = "HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5";

void setPorts(const std::string& v6, const std::string& v4)
{
    ASSERT_TRUE(gf_regWriteString(PORT_KEY, "SimConnect_Port_IPv6", v6));
    ASSERT_TRUE(gf_regWriteString(PORT_KEY, "SimConnect_Port_IPv4", v4));
}

HRESULT openAndClose(std::uint32_t configIndex = 0)
{
    HANDLE handle = nullptr;
    const HRESULT result = SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, nullptr, configIndex);
    if (result == S_OK) {
        EXPECT_EQ(SimConnect_Close(handle), S_OK);
    } else {
        EXPECT_EQ(handle, nullptr);
    }
    return result;
}

TEST(SimConnectConfig, laterFilesOverrideAndMaxReceiveSizeOnlyGrows)
{
    SimFolders folders;
    writeFile(folders.publicDocuments() / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=10.1.1.1\nPort=1111\nMaxReceiveSize=8000\nDisableNagle=1\n"
              "[SimConnect.2]\nAddress=public\n");
    writeFile(folders.documents() / "SimConnect.cfg",
              "; user settings\n[simconnect]\n  address = 127.0.0.1 \nMaxReceiveSize=4000\n");
    writeFile(folders.root() / "SimConnect.cfg", "[SimConnect.2]\nPORT=2222\nMaxReceiveSize=100000\n");

    ConnectSettings first;
    gf_readConfigSection(0, first);
    EXPECT_EQ(first.protocol, Protocol::ipv4);
    EXPECT_EQ(first.address, "127.0.0.1");
    EXPECT_EQ(first.port, "1111");
    EXPECT_EQ(first.maxReceiveSize, 41088u);
    EXPECT_TRUE(first.disableNagle);

    ConnectSettings second;
    gf_readConfigSection(2, second);
    EXPECT_EQ(second.protocol, Protocol::pipe);
    EXPECT_EQ(second.address, "public");
    EXPECT_EQ(second.port, "2222");
    EXPECT_EQ(second.maxReceiveSize, 100000u);

    EXPECT_TRUE(gf_configSectionExists(2));
    EXPECT_FALSE(gf_configSectionExists(3));
    EXPECT_EQ(openAndClose(3), E_INVALIDARG);
}

TEST(SimConnectConfig, tcpProtocolReplacesAPortSetEarlierWithTheRegistryPort)
{
    SimFolders folders;
    setPorts("6000", "4000");
    writeFile(folders.publicDocuments() / "SimConnect.cfg", "[SimConnect]\nPort=1234\n");
    writeFile(folders.documents() / "SimConnect.cfg", "[SimConnect]\nProtocol=ipv6\n");
    ConnectSettings settings;
    gf_readConfigSection(0, settings);
    EXPECT_EQ(settings.protocol, Protocol::ipv6);
    EXPECT_EQ(settings.port, "6000");

    // A port text longer than 9 characters is no port.
    ASSERT_TRUE(gf_regWriteString(PORT_KEY, "SimConnect_Port_IPv4", "1234567890"));
    EXPECT_EQ(gf_readPortFromRegistry(AF_INET), "");
    EXPECT_EQ(gf_readPortFromRegistry(AF_INET6), "6000");
}

// The three endpoints of the default order, each listening or not.
struct Endpoints {
    SimFolders folders;
    std::unique_ptr<Listener> pipe;
    std::unique_ptr<Listener> v6;
    std::unique_ptr<Listener> v4;

    Endpoints(bool pipeListens, bool v6Listens, bool v4Listens)
    {
        if (pipeListens)
            pipe = Listener::unixAt(folders.defaultPipePath());
        v6 = Listener::tcp(AF_INET6, v6Listens);
        v4 = Listener::tcp(AF_INET, v4Listens);
        if (v4 != nullptr)
            setPorts(v6 != nullptr ? v6->port() : "", v4->port());
    }
    static bool pending(const std::unique_ptr<Listener>& listener)
    {
        return listener != nullptr && listener->hasPendingConnection();
    }
};

TEST(SimConnectConnectOrder, pipeComesFirst)
{
    Endpoints endpoints(true, true, true);
    EXPECT_EQ(openAndClose(), S_OK);
    EXPECT_TRUE(Endpoints::pending(endpoints.pipe));
    EXPECT_FALSE(Endpoints::pending(endpoints.v6));
    EXPECT_FALSE(Endpoints::pending(endpoints.v4));
}

TEST(SimConnectConnectOrder, withoutPipeIPv6ComesBeforeIPv4)
{
    Endpoints endpoints(false, true, true);
    if (endpoints.v6 == nullptr)
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    EXPECT_EQ(openAndClose(), S_OK);
    EXPECT_TRUE(Endpoints::pending(endpoints.v6));
    EXPECT_FALSE(Endpoints::pending(endpoints.v4));
}

TEST(SimConnectConnectOrder, ipv4WhenNothingElseListens)
{
    Endpoints endpoints(false, false, true);
    EXPECT_EQ(openAndClose(), S_OK);
    EXPECT_TRUE(Endpoints::pending(endpoints.v4));
}

TEST(SimConnectConnectOrder, nothingListeningFailsTheOpen)
{
    Endpoints endpoints(false, false, false);
    EXPECT_EQ(openAndClose(), E_FAIL);
    // Without registry ports the TCP steps are skipped, and it still fails.
    std::filesystem::remove(endpoints.folders.registryFile());
    EXPECT_EQ(openAndClose(), E_FAIL);
}

TEST(SimConnectConnectOrder, failedLoopbackTcpEndsOnTheLocalPipe)
{
    Endpoints endpoints(true, false, false);
    writeFile(endpoints.folders.root() / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + endpoints.v4->port() + "\n");
    EXPECT_EQ(openAndClose(), S_OK);
    EXPECT_TRUE(Endpoints::pending(endpoints.pipe));
}

TEST(SimConnectConnectOrder, remotePipeOrAddressDoesNotFallBackToLocalEndpoints)
{
    Endpoints endpoints(true, true, true);
    writeFile(endpoints.folders.root() / "SimConnect.cfg", "[SimConnect]\nProtocol=Pipe\nAddress=simhost\n");
    EXPECT_EQ(openAndClose(), E_FAIL);
    const auto refusing = Listener::tcp(AF_INET, false);
    writeFile(endpoints.folders.root() / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=localhost\nPort=" + refusing->port() + "\n");
    EXPECT_EQ(openAndClose(), E_FAIL);
    EXPECT_FALSE(Endpoints::pending(endpoints.pipe));
    EXPECT_FALSE(Endpoints::pending(endpoints.v6));
    EXPECT_FALSE(Endpoints::pending(endpoints.v4));
}

TEST(SimConnectConnectOrder, namedPipeFromTheConfigurationIsUsed)
{
    SimFolders folders;
    auto listener = Listener::unixAt(folders.root() / "__._pipe_My_Sim_Pipe.sock");
    writeFile(folders.root() / "SimConnect.cfg", "[SimConnect.1]\nPort=My Sim Pipe\n");
    EXPECT_EQ(openAndClose(1), S_OK);
    EXPECT_TRUE(listener->hasPendingConnection());
}

TEST(SimConnectRegistry, valuesAreReadByKeyAndNameWithoutRegardToCase)
{
    SimFolders folders;
    const std::string v5 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5";
    const std::string v6 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6";
    writeFile(folders.registryFile(), "# by hand\n" + v5 + "\\SetupPath=C:\\P3D=x\r\n" + v6 + "\\=\nnot a value\n");
    EXPECT_EQ(gf_regReadString("hkey_local_machine\\software\\lockheed martin\\prepar3d v5", "SETUPPATH"), "C:\\P3D=x");
    EXPECT_TRUE(gf_regKeyExists(v6));
    EXPECT_TRUE(gf_regKeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin"));
    EXPECT_FALSE(gf_regKeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed"));
    EXPECT_FALSE(gf_regReadString(v6, "SetupPath"));

    ASSERT_TRUE(gf_regWriteString(v5, "SetupPath", "/p3d"));
    EXPECT_EQ(gf_regReadString(v5, "SetupPath"), "/p3d");
    EXPECT_TRUE(gf_regKeyExists(v6));
}

}  // namespace
