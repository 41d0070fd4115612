// The DPA operations of the server: one request (operation number and
// encoded argument) in, one reply (result or error) out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dpad_config.h"
#include "dpad_store.h"
#include "dpad_values.h"

namespace vrcore::dpad {

struct Reply {
    int32_t kind = 0; // the error's wire kind; 0 with a result
    std::vector<char> result, error;
};

class Service {
  public:
    Service(const Config &config, Store &store) : config_(config), store_(store) {}
    // Answers one request; never fails to answer.
    Reply Handle(int32_t operation, const unsigned char *bytes, size_t length);
    // Prints every complete job that is not printed yet, oldest first.
    void PrintPending();

  private:
    Reply Submit(int32_t operation, const ODP_BerPrintArg &arg);
    Reply List(const ODP_BerNewListArg &arg);
    Reply Cancel(const ODP_BerCancelJobArg &arg);
    Reply Failed(const Error &error);
    Reply PrintResult(const Job &job);
    // The job a client names: null with the error filled when there is none.
    Job *Named(const char *text, Error *error);
    const Printer *FindPrinter(const std::string &name) const;
    bool Receive(Job &job, const ODP_BerDocDescription &doc, Error *error);
    bool Durable(Job &job, uint32_t doc, Error *error);
    void JobStatus(const Job &job, Set *set) const;
    bool PrintJob(Job &job);

    const Config &config_;
    Store &store_;
};

} // namespace vrcore::dpad
