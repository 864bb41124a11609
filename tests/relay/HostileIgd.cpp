#include "HostileIgd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace corvala::testsupport {

namespace {

constexpr int HttpPort = 5001;

std::string Soap(const std::string& action, const std::string& fields) {
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
           action + "Response xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">" + fields + "</u:" + action +
           "Response></s:Body></s:Envelope>";
}

std::string Description() {
    const auto service = [](const char* type, const char* control) {
        return std::string("<service><serviceType>urn:schemas-upnp-org:service:") + type +
               "</serviceType><serviceId>urn:upnp-org:serviceId:x</serviceId><controlURL>" + control +
               "</controlURL><eventSubURL>/evt</eventSubURL><SCPDURL>/scpd.xml</SCPDURL></service>";
    };
    return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><specVersion><major>1</major>"
           "<minor>0</minor></specVersion><device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1"
           "</deviceType><deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>"
           "<serviceList>" +
           service("WANCommonInterfaceConfig:1", "/cif") +
           "</serviceList><deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1"
           "</deviceType><serviceList>" +
           service("WANIPConnection:1", "/ctl") +
           "</serviceList></device></deviceList></device></deviceList></device></root>";
}

}  // namespace

HostileIgd::HostileIgd(pid_t namespacePid, std::string address) : FAddress(std::move(address)) {
    FThread = std::thread([this, namespacePid] { Serve(namespacePid); });
}

HostileIgd::~HostileIgd() {
    FStop = true;
    FThread.join();
}

void HostileIgd::Serve(pid_t namespacePid) {
    // Only this thread moves into the router's namespace.
    const std::string path = "/proc/" + std::to_string(namespacePid) + "/ns/net";
    const int ns = open(path.c_str(), O_RDONLY);
    if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) return;
    close(ns);
    const int udp = socket(AF_INET, SOCK_DGRAM, 0);
    const int tcp = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(udp, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(tcp, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in ssdp{};
    ssdp.sin_family = AF_INET;
    ssdp.sin_port = htons(1900);
    ssdp.sin_addr.s_addr = htonl(INADDR_ANY);
    ip_mreq group{};
    inet_pton(AF_INET, "239.255.255.250", &group.imr_multiaddr);
    inet_pton(AF_INET, FAddress.c_str(), &group.imr_interface);
    sockaddr_in http{};
    http.sin_family = AF_INET;
    http.sin_port = htons(HttpPort);
    inet_pton(AF_INET, FAddress.c_str(), &http.sin_addr);
    if (bind(udp, reinterpret_cast<sockaddr*>(&ssdp), sizeof ssdp) != 0 ||
        setsockopt(udp, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0 ||
        bind(tcp, reinterpret_cast<sockaddr*>(&http), sizeof http) != 0 || listen(tcp, 16) != 0) {
        close(udp);
        close(tcp);
        return;
    }
    FReady = true;
    while (!FStop) {
        pollfd fds[2] = {{udp, POLLIN, 0}, {tcp, POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0) continue;
        if (fds[0].revents & POLLIN) AnswerDiscovery(udp);
        if (fds[1].revents & POLLIN) {
            const int client = accept(tcp, nullptr, nullptr);
            if (client >= 0) AnswerHttp(client);
        }
    }
    close(udp);
    close(tcp);
}

void HostileIgd::AnswerDiscovery(int udp) {
    char request[2048];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = recvfrom(udp, request, sizeof request - 1, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n <= 0) return;
    request[n] = '\0';
    if (!std::strstr(request, "M-SEARCH")) return;
    const std::string answer =
        "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
        "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
        "USN: uuid:0badf00d-0000-0000-0000-000000000001::urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
        "LOCATION: http://" +
        FAddress + ":" + std::to_string(HttpPort) + "/desc.xml\r\nSERVER: hostile/1 UPnP/1.0\r\nEXT:\r\n\r\n";
    sendto(udp, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
}

void HostileIgd::AnswerHttp(int client) {
    std::string request;
    char buffer[4096];
    // Headers, then as much body as Content-Length says (SOAP bodies are small).
    for (;;) {
        pollfd fd{client, POLLIN, 0};
        if (poll(&fd, 1, 2000) <= 0) break;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
        const size_t end = request.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        size_t length = 0;
        if (const size_t at = request.find("Content-Length:"); at != std::string::npos)
            length = std::stoul(request.substr(at + 15));
        if (request.size() >= end + 4 + length) break;
    }
    std::string body;
    if (request.rfind("GET", 0) == 0) {
        body = Description();
    } else if (request.find("#GetStatusInfo") != std::string::npos) {
        body = Soap("GetStatusInfo", "<NewConnectionStatus>Connected</NewConnectionStatus>"
                                     "<NewLastConnectionError>ERROR_NONE</NewLastConnectionError>"
                                     "<NewUptime>1000</NewUptime>");
    } else if (request.find("#GetExternalIPAddress") != std::string::npos) {
        body = Soap("GetExternalIPAddress", "<NewExternalIPAddress>100.128.77.1</NewExternalIPAddress>");
    } else if (request.find("#GetGenericPortMappingEntry") != std::string::npos) {
        // Never ends: a mapping at every index. The first ones carry what
        // a broken or malicious router might: no valid port, an address
        // that is none, fields far beyond their size.
        const int index = FListed++;
        const size_t at = request.find("<NewPortMappingIndex>");
        const int asked = at == std::string::npos ? index : std::atoi(request.c_str() + at + 21);
        std::string port = std::to_string(5501 + asked);
        std::string client = "192.168.77.50";
        if (asked == 0) port = "99999";
        if (asked == 1) client = std::string(5000, '9');
        if (asked == 2) port = "70000";
        body = Soap("GetGenericPortMappingEntry",
                    "<NewRemoteHost></NewRemoteHost><NewExternalPort>" + port +
                        "</NewExternalPort><NewProtocol>TCP</NewProtocol><NewInternalPort>3478</NewInternalPort>"
                        "<NewInternalClient>" +
                        client +
                        "</NewInternalClient><NewEnabled>1</NewEnabled><NewPortMappingDescription>" +
                        std::string(10000, 'x') +
                        "</NewPortMappingDescription><NewLeaseDuration>0</NewLeaseDuration>");
    } else if (request.find("#AddPortMapping") != std::string::npos) {
        ++FAdded;
        body = Soap("AddPortMapping", "");
    } else {
        body = Soap("Unknown", "");
    }
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
    close(client);
}

}  // namespace corvala::testsupport
