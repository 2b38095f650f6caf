#include "tools/jobs_in_turn.h"

#include "model/digits.h"
#include "model/reply_decoders.h"

namespace kelvrix {

void JobsInTurn::Start(std::vector<UnitJob*> jobs, std::vector<int> addresses) {
  jobs_ = std::move(jobs);
  addresses_ = std::move(addresses);
  set_.Start(std::vector<GatedSequence*>(jobs_.begin(), jobs_.end()), true);
}

std::optional<ToolRequest> JobsInTurn::Next(Millis now) {
  for (SequenceSet::Request& out : set_.Next(now)) {  // one at a time: one request at most
    out.request.address = addresses_[out.unit];
    return std::move(out.request);
  }
  return std::nullopt;
}

void JobsInTurn::Replied(std::string_view line, std::string_view address, std::string_view failure) {
  const auto turn = set_.Turn();
  if (!turn) return;
  if (addresses_[*turn] >= 0 && address != PaddedDecimal(addresses_[*turn], 2)) return;
  if (failure.empty()) {
    if (const ReplyDecoder* decoder = FindReplyDecoder(line)) decoder->decode(line, jobs_[*turn]->Model());
  }
  set_.Replied(*turn, line, address, failure);
}

void JobsInTurn::NoReply() {
  if (const auto turn = set_.Turn()) set_.NoReply(*turn);
}

void JobsInTurn::Cancel() {
  cancelled_ = true;
  set_.Cancel();
}

}  // namespace kelvrix
