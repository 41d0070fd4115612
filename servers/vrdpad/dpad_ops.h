// The DPA operations of the server: one request (operation number and
// encoded argument) in, one reply (result or error) out.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dpad_config.h"
#include "dpad_events.h"
#include "dpad_store.h"
#include "dpad_values.h"
#include "vrcore/ft.h"

namespace vrcore::dpad {

struct Reply {
    int32_t kind = 0; // the error's wire kind; 0 with a result
    std::vector<char> result, error;
};

class Service {
  public:
    Service(const Config &config, Store &store, Notifier &notifier)
        : config_(config), store_(store), notifier_(notifier) {}
    // Answers one request; never fails to answer. `user`: the user the
    // caller logged on as, null when it did not.
    Reply Handle(int32_t operation, const unsigned char *bytes, size_t length,
                 const char *user = nullptr);
    // Prints every complete job that is not printed yet, oldest first;
    // after StopTransfers, none (they stay pending for the next start).
    void PrintPending();
    // Lets documents sent over their own connection arrive after their
    // request: the lock requests are handled under, and the descriptor that
    // wakes the printing loop.
    void Attach(std::mutex *lock, int wake_fd) { lock_ = lock, wake_fd_ = wake_fd; }
    // Ends the transfers still running; their jobs fail, as after a crash.
    void StopTransfers();

  private:
    Reply Submit(int32_t operation, const ODP_BerPrintArg &arg);
    // What a listing lists, and where its next part begins.
    struct ListPlan {
        GENU_ShortOID cls = 0;
        uint32_t start = 0, limit = 0; // limit 0: all
        bool abort = false;            // the listing ends here
        std::vector<GENU_ShortOID> requested;
        std::vector<std::string> wanted;
        std::shared_ptr<GEN_Filter> filter; // null: every object
        std::string request;                // the encoded list argument the filter came in
    };
    bool Plan(const ODP_BerNewListArg &arg, const std::string &request, ListPlan *plan,
              Error *error);
    bool TakeFilter(const std::string &request, ListPlan *plan) const;
    std::string Context(const ListPlan &plan) const;
    bool FromContext(const GENU_Buffer &context, ListPlan *plan) const;
    Reply Continue(int32_t operation, const ODP_BerContinueListArg &arg);
    Reply List(ListPlan plan);
    Reply Cancel(const ODP_BerCancelJobArg &arg);
    Reply Hold(const ODP_BerPauseJobArg &arg);
    Reply Release(const ODP_BerResumeJobArg &arg);
    Reply Promote(const ODP_BerPromoteJobArg &arg);
    Reply Modify(const ODP_BerModifyJobArg &arg);
    // Enable, disable, clean, shutdown, pause and resume of a printer.
    Reply PrinterOp(int32_t operation, const ODP_BerObjectOpArg &arg);
    Reply SetPrinter(const ODP_BerSetArg &arg);
    // The printer (or its queue, named alike) an object operation names.
    const Printer *ObjectPrinter(const GENU_BerOID &cls, const GENU_Buffer &instance, Error *error);
    void PrinterStatus(const Printer &p, Set *set);
    // Who submits a job: the user the caller logged on as, else the one its
    // privilege record names, else the owner its job attributes name.
    std::string Submitter(const ODP_BerCreateJobArg &arg, AS_SetHandle attributes) const;
    // Cancels the printer's unfinished jobs; the jobs cancelled.
    std::vector<uint32_t> CancelAll(const Printer &p);
    // A result of the object operations: the set under the result's PDU.
    Reply SetResult(int pdu, Set &set, const GEN_ObjectIdent &object);
    Reply Failed(const Error &error);
    Reply PrintResult(const Job &job);
    // The job a client names: null with the error filled when there is none.
    Job *Named(const char *text, Error *error);
    const Printer *FindPrinter(const std::string &name) const;
    // Receives a document into the spool; with `completes`, the job is
    // complete in the same durable change.
    bool Receive(Job &job, const ODP_BerDocDescription &doc, Error *error, bool completes);
    // Adds the received document to the job (`store_data` keeps its data
    // with the change); false, the job as it was, when it cannot be stored.
    template <typename F>
    bool Keep(Job &job, const Document &d, Error *error, bool completes, F store_data);
    // Marks the job's next document as arriving, durably, and names it.
    bool BeginTransfer(Job &job, uint32_t *number, GEN_DocumentIdentifier *id, Error *error);
    void Complete(Job &job);
    bool ReferenceAllowed(const GEN_OctetString &reference) const;
    bool Durable(Job &job, uint32_t doc, Error *error);
    void JobStatus(const Job &job, Set *set) const;
    bool PrintJob(Job &job);

    // A document arriving over its own connection.
    struct Transfer {
        std::thread thread;
        ::FT_Buffer *buffer = nullptr;
        uint32_t job = 0, number = 0;
        Document document;
        uint64_t announced = 0; // bytes the client announced; ~0: not announced
        bool completes = false;
        std::atomic<bool> done{false};
    };
    bool Listen(Job &job, uint32_t number, const Document &d, uint64_t announced, bool completes,
                Error *error);
    void Stream(Transfer *t);
    std::list<std::unique_ptr<Transfer>> transfers_;
    std::atomic<bool> stopping_{false};
    std::mutex *lock_ = nullptr;
    int wake_fd_ = -1;
    int listen_port_ = -1; // of the transfer the current request started
    std::string caller_;   // the user the current request's caller logged on as

    const Config &config_;
    Store &store_;
    uint32_t entries_taken_ = 0;
    Notifier &notifier_;
    // Tells the listeners of a job whose state changed since last told.
    void Tell(const Job &job);
    std::map<uint32_t, GENU_ShortOID> told_;
    std::set<uint32_t> to_print_; // jobs made pending since the last printing pass
    bool scanned_ = false;        // whether a pass has looked at every job
};

} // namespace vrcore::dpad
