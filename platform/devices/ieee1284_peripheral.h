// Simulated IEEE 1284 peripheral behind a PC parallel port's three registers.
// Internal to libplatform.so; tests reach it through the KvParportSim functions.
//
// The model answers at once to each change of the host's control lines: the
// negotiation (events 0-6, XFlag by the requested mode), nibble-mode transfers
// (events 7-11), compatibility-mode strobes and the termination (events 22-28).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvdev {

enum class PeripheralBehaviour {
  kNormal,    // answers everything; device-ID and reverse data as configured
  kRefuse,    // answers the negotiation but rejects every requested mode (XFlag)
  kSilent,    // never moves a line: nothing attached
  kDropOut,   // stops answering after `drop_after` bytes (reverse, or forward taken)
  kNoData,    // accepts the mode but never has reverse data
  kIdleData,  // accepts the mode, then announces its data from reverse idle
};

class Ieee1284Peripheral {
 public:
  Ieee1284Peripheral() { Reset(); }

  void Reset();
  void SetBehaviour(PeripheralBehaviour behaviour, uint32_t drop_after);
  void SetDeviceId(const uint8_t* bytes, size_t size) { device_id_.assign(bytes, bytes + size); }
  void SetReverseData(const uint8_t* bytes, size_t size) { reverse_data_.assign(bytes, bytes + size); }

  // Register access at offsets 0 (data), 1 (status), 2 (control).
  uint8_t ReadRegister(unsigned offset);
  void WriteRegister(unsigned offset, uint8_t value);

  uint32_t status_reads() const { return status_reads_; }
  uint32_t accesses() const { return accesses_; }
  uint32_t negotiations() const { return negotiations_; }
  uint32_t terminations() const { return terminations_; }
  int last_request() const { return last_request_; }
  uint8_t control_register() const { return control_register_; }
  const std::vector<uint8_t>& received() const { return received_; }

 private:
  enum class Phase { kCompatibility, kNegotiation, kReverse, kTermination };

  void OnControlLines(uint8_t lines);
  void AcceptRequest();
  void NibbleRequested();
  void NibbleTaken();
  void SetBetweenBytes();

  PeripheralBehaviour behaviour_ = PeripheralBehaviour::kNormal;
  uint32_t drop_after_ = 0;
  std::vector<uint8_t> device_id_;
  std::vector<uint8_t> reverse_data_;
  std::vector<uint8_t> received_;

  Phase phase_ = Phase::kCompatibility;
  bool dropped_ = false;
  // Peripheral lines (levels).
  bool n_ack_ = true, busy_ = false, p_error_ = false, select_ = true, n_fault_ = true;
  // Host side.
  uint8_t data_ = 0;
  uint8_t control_register_ = 0x0C;
  uint8_t lines_ = 0;  // host control line levels (bit 0 nStrobe, 1 nAutoFd, 2 nInit, 3 nSelectIn)
  // Reverse transfer.
  int last_request_ = -1;
  bool xflag_ = false;
  const std::vector<uint8_t>* source_ = nullptr;
  size_t position_ = 0;
  int half_ = 0;
  bool nibble_out_ = false;
  bool announcing_ = false;  // reverse idle with data, waiting for the host's event 20

  uint32_t status_reads_ = 0, accesses_ = 0, negotiations_ = 0, terminations_ = 0;
};

}  // namespace kvdev
