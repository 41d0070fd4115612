// Event messages of job and printer state changes, sent to the listeners
// named in the configuration by a thread of their own (a listener that
// does not answer delays only the events, never a request).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vrcore::dpad {

// One event: what changed ("job" or "printer"), which object, its new
// state (a short identifier, 0 for a printer's enabling) and the state's
// name. Each becomes a message of five arguments: the four and the server.
struct Event {
    std::string kind, object;
    uint32_t state = 0;
    std::string state_name;
};

class Notifier {
  public:
    Notifier(std::string server, std::vector<std::string> listeners);
    ~Notifier();
    Notifier(const Notifier &) = delete;
    Notifier &operator=(const Notifier &) = delete;
    void Post(Event event);

  private:
    void Run();
    void Send(const std::string &listener, const Event &event);
    std::string server_;
    std::vector<std::string> listeners_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Event> queue_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace vrcore::dpad
