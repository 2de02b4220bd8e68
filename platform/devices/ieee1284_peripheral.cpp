#include "platform/devices/ieee1284_peripheral.h"

namespace kvdev {

namespace {

// Host control line levels, as the peripheral sees them.
constexpr uint8_t kStrobe = 0x01;    // nStrobe (HostClk)
constexpr uint8_t kAutoFd = 0x02;    // nAutoFd (HostBusy / HostAck)
constexpr uint8_t kInit = 0x04;      // nInit
constexpr uint8_t kSelectIn = 0x08;  // nSelectIn (1284Active)

// The register inverts nStrobe, nAutoFd and nSelectIn.
uint8_t LinesOfControl(uint8_t reg) { return (reg ^ 0x0B) & 0x0F; }

}  // namespace

void Ieee1284Peripheral::Reset() {
  phase_ = Phase::kCompatibility;
  dropped_ = false;
  n_ack_ = true;
  busy_ = false;
  p_error_ = false;
  select_ = true;
  n_fault_ = true;
  data_ = 0;
  control_register_ = 0x0C;
  lines_ = LinesOfControl(control_register_);
  last_request_ = -1;
  xflag_ = false;
  source_ = nullptr;
  position_ = 0;
  half_ = 0;
  nibble_out_ = false;
  announcing_ = false;
  received_.clear();
  status_reads_ = accesses_ = negotiations_ = terminations_ = 0;
}

void Ieee1284Peripheral::SetBehaviour(PeripheralBehaviour behaviour, uint32_t drop_after) {
  behaviour_ = behaviour;
  drop_after_ = drop_after;
}

uint8_t Ieee1284Peripheral::ReadRegister(unsigned offset) {
  ++accesses_;
  switch (offset) {
    case 0: return data_;
    case 1: {
      ++status_reads_;
      // Bits 3 nFault, 4 Select, 5 PError, 6 nAck, 7 Busy read inverted.
      uint8_t v = 0;
      if (n_fault_) v |= 0x08;
      if (select_) v |= 0x10;
      if (p_error_) v |= 0x20;
      if (n_ack_) v |= 0x40;
      if (!busy_) v |= 0x80;
      return v;
    }
    case 2: return control_register_;
    default: return 0xFF;
  }
}

void Ieee1284Peripheral::WriteRegister(unsigned offset, uint8_t value) {
  ++accesses_;
  if (offset == 0) {
    data_ = value;
  } else if (offset == 2) {
    control_register_ = value;
    OnControlLines(LinesOfControl(value));
  }
}

void Ieee1284Peripheral::OnControlLines(uint8_t lines) {
  const uint8_t before = lines_;
  lines_ = lines;
  auto fell = [&](uint8_t line) { return (before & line) && !(lines & line); };
  auto rose = [&](uint8_t line) { return !(before & line) && (lines & line); };

  if (behaviour_ == PeripheralBehaviour::kSilent || dropped_) return;

  if (fell(kInit)) {  // reset: back to compatibility mode
    const auto keep = received_;
    Reset();
    received_ = keep;
    lines_ = lines;
    return;
  }

  switch (phase_) {
    case Phase::kCompatibility:
      if (rose(kSelectIn) && !(lines & kAutoFd)) {
        // Event 1 seen: event 2, the peripheral answers the negotiation.
        ++negotiations_;
        last_request_ = data_;
        n_ack_ = false;
        p_error_ = true;
        n_fault_ = true;
        select_ = true;
        phase_ = Phase::kNegotiation;
      } else if (fell(kStrobe)) {
        if (behaviour_ == PeripheralBehaviour::kDropOut && received_.size() >= drop_after_) {
          dropped_ = true;
          break;
        }
        received_.push_back(data_);
        busy_ = true;
      } else if (rose(kStrobe) && busy_) {
        busy_ = false;
      }
      break;

    case Phase::kNegotiation:
      if (fell(kStrobe)) {
        last_request_ = data_;  // event 3: the extensibility byte is latched
      } else if (rose(kStrobe) && (lines & kAutoFd)) {
        AcceptRequest();  // event 4 seen: events 5 and 6
      } else if (fell(kSelectIn)) {
        phase_ = Phase::kCompatibility;
        n_ack_ = true;
        p_error_ = false;
      }
      break;

    case Phase::kReverse:
      if (fell(kSelectIn)) {
        // Event 22: the host terminates; event 23/24 answer it.
        ++terminations_;
        busy_ = false;
        n_fault_ = true;
        select_ = true;
        p_error_ = false;
        n_ack_ = false;
        phase_ = Phase::kTermination;
      } else if (announcing_) {
        if (rose(kAutoFd)) {
          announcing_ = false;  // event 20 seen: event 21, AckDataReq low
          p_error_ = false;
        }
      } else if (fell(kAutoFd)) {
        NibbleRequested();
      } else if (rose(kAutoFd)) {
        NibbleTaken();
      }
      break;

    case Phase::kTermination:
      if (fell(kAutoFd)) {
        n_ack_ = true;  // event 27: back in compatibility mode
        phase_ = Phase::kCompatibility;
      }
      break;
  }
}

void Ieee1284Peripheral::AcceptRequest() {
  const int request = last_request_;
  const bool device_id = (request & 0x04) != 0;
  const int mode = request & ~0x04;
  // Nibble mode (0) is mandatory; the model offers nothing else.
  bool supported = mode == 0 && behaviour_ != PeripheralBehaviour::kRefuse;
  // XFlag: low accepts nibble mode, high accepts every other request.
  xflag_ = request == 0 ? !supported : supported;
  source_ = supported ? (device_id ? &device_id_ : &reverse_data_) : nullptr;
  position_ = 0;
  half_ = 0;
  nibble_out_ = false;
  const bool has_data = source_ != nullptr && !source_->empty() && behaviour_ != PeripheralBehaviour::kNoData;
  if (!has_data) source_ = nullptr;
  select_ = xflag_;
  p_error_ = !has_data;  // reverse idle with nothing to send
  n_fault_ = !has_data;  // nDataAvail
  if (has_data && behaviour_ == PeripheralBehaviour::kIdleData) {
    // Reverse idle first, with the data announced (events 18 and 19).
    p_error_ = true;
    announcing_ = true;
  }
  busy_ = false;
  n_ack_ = true;  // event 6
  phase_ = Phase::kReverse;
}

void Ieee1284Peripheral::NibbleRequested() {
  // Event 7 seen: event 8 puts the nibble on nFault, Select, PError, Busy.
  if (source_ == nullptr || position_ >= source_->size()) return;
  if (behaviour_ == PeripheralBehaviour::kDropOut && position_ >= drop_after_) {
    dropped_ = true;
    return;
  }
  const uint8_t byte = (*source_)[position_];
  const uint8_t nibble = half_ == 0 ? (byte & 0x0F) : (byte >> 4);
  n_fault_ = (nibble & 1) != 0;
  select_ = (nibble & 2) != 0;
  p_error_ = (nibble & 4) != 0;
  busy_ = (nibble & 8) != 0;
  n_ack_ = false;
  nibble_out_ = true;
}

void Ieee1284Peripheral::NibbleTaken() {
  // Event 9 seen: event 10, and after the second nibble event 11's line states.
  if (!nibble_out_) return;
  nibble_out_ = false;
  n_ack_ = true;
  if (half_ == 0) {
    half_ = 1;
    return;
  }
  half_ = 0;
  ++position_;
  SetBetweenBytes();
}

void Ieee1284Peripheral::SetBetweenBytes() {
  const bool more = source_ != nullptr && position_ < source_->size();
  n_fault_ = !more;
  p_error_ = !more;
  select_ = xflag_;
  busy_ = false;
}

}  // namespace kvdev
