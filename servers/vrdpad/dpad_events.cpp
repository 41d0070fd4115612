// Event messages through the library's event transport.
#include "dpad_events.h"

#include <cstring>

#include "vrcore/evt.h"
#include "vrcore/log.h"

namespace vrcore::dpad {

namespace {
constexpr const char *kSource = "vrdpad";
constexpr size_t kMaxQueued = 10000; // beyond it the oldest events are dropped
} // namespace

Notifier::Notifier(std::string server, std::vector<std::string> listeners)
    : server_(std::move(server)), listeners_(std::move(listeners)) {
    if (listeners_.empty()) return;
    EVT_Init();
    thread_ = std::thread([this] { Run(); });
}

Notifier::~Notifier() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    EVT_Term();
}

void Notifier::Post(Event event) {
    if (listeners_.empty()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (queue_.size() == kMaxQueued) queue_.pop_front();
        queue_.push_back(std::move(event));
    }
    wake_.notify_one();
}

void Notifier::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return; // stopping with nothing left to send
        Event e = std::move(queue_.front());
        queue_.pop_front();
        hold.unlock();
        for (const std::string &l : listeners_) Send(l, e);
        hold.lock();
    }
}

void Notifier::Send(const std::string &listener, const Event &e) {
    GEN_Text remote{};
    remote.kind = GEN_KIND_CODESET;
    remote.u.octets = {int32_t(listener.size()),
                       reinterpret_cast<unsigned char *>(const_cast<char *>(listener.data()))};
    uint32_t queue = 0, message = 0;
    int rc = EVT_Open(&remote, nullptr, &queue);
    if (rc == EVT_E_OK) {
        if ((rc = EVT_MessageCreate(queue, &message)) == EVT_E_OK &&
            (rc = EVT_MessageArgPut(queue, message, e.kind.c_str())) == EVT_E_OK &&
            (rc = EVT_MessageArgPut(queue, message, e.object.c_str())) == EVT_E_OK &&
            (rc = EVT_MessageIArgPut(queue, message, int32_t(e.state))) == EVT_E_OK &&
            (rc = EVT_MessageArgPut(queue, message, e.state_name.c_str())) == EVT_E_OK &&
            (rc = EVT_MessageArgPut(queue, message, server_.c_str())) == EVT_E_OK)
            rc = EVT_MessageSend(queue, message);
        EVT_Close(queue);
    }
    if (rc != EVT_E_OK)
        LOG_CondMessage(2, kSource, __LINE__, "an event for %s %s could not be sent to %s (%d)\n",
                        e.kind.c_str(), e.object.c_str(), listener.c_str(), rc);
}

} // namespace vrcore::dpad
