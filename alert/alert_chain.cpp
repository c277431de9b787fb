#include "alert/alert_chain.h"

#include <utility>

namespace kelvoran {

AlertChain::AlertChain(ChannelSenders senders, SecretLookup secrets, AlertJournal* journal,
                       Environment environment)
    : dispatcher_(std::make_unique<AlertDispatcher>(senders, std::move(secrets), journal)),
      pacer_([this](const std::vector<std::string>& channels,
                    const AlertEvent& event) { dispatcher_->Raise(channels, event); },
             [this](const std::vector<std::string>& channels, const AlertEvent& event,
                    const std::string& why) { dispatcher_->Hold(channels, event, why); },
             AlertPacer::Watching(hosts_, environment.utcOffset)),
      raiser_([this](const std::vector<std::string>& channels,
                     const AlertEvent& event) { pacer_.Raise(channels, event); },
              {environment.utcOffset, environment.computer}) {
  raiser_.SetHold([this](const std::vector<std::string>& channels, const AlertEvent& event,
                         const std::string& why) { dispatcher_->Hold(channels, event, why); });
}

AlertChain::~AlertChain() = default;

void AlertChain::SetChannels(const std::vector<AlertChannel>& channels) {
  dispatcher_->SetChannels(channels);
  pacer_.SetChannels(channels);
}

}  // namespace kelvoran
