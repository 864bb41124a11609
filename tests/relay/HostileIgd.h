#pragma once
// A hostile Internet gateway for tests: answers discovery and the SOAP calls
// of a real one, but lists a port mapping at every index it is asked for,
// with overlong and malformed fields. Runs on its own threads inside the
// network namespace of `namespacePid`, listening on `address`.

#include <atomic>
#include <string>
#include <sys/types.h>
#include <thread>

namespace corvala::testsupport {

class HostileIgd {
public:
    HostileIgd(pid_t namespacePid, std::string address);
    ~HostileIgd();
    bool Ready() const { return FReady; }
    int ListingRequests() const { return FListed; }
    int AddRequests() const { return FAdded; }

private:
    void Serve(pid_t namespacePid);
    void AnswerDiscovery(int udp);
    void AnswerHttp(int client);

    std::string FAddress;
    std::atomic<bool> FReady{false};
    std::atomic<bool> FStop{false};
    std::atomic<int> FListed{0};
    std::atomic<int> FAdded{0};
    std::thread FThread;
};

}  // namespace corvala::testsupport
