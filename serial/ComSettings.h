// The four groups of port settings. Each keeps a back-reference to its port; changing a
// value while the port is open applies its group to the device at once.
#pragma once

#include <cstdint>

#include "serial/ComTypes.h"

class TCustomComPort;

class TFlowControl {
  public:
    explicit TFlowControl(TCustomComPort* port) : port_(port) {}
    TDTRControl DTR() const { return dtr_; }
    TRTSControl RTS() const { return rts_; }
    TXOnXOffControl XOnXOff() const { return xOnXOff_; }
    std::uint16_t XOnLimit() const { return xOnLimit_; }
    std::uint16_t XOffLimit() const { return xOffLimit_; }
    void SetDTR(TDTRControl value);
    void SetRTS(TRTSControl value);
    void SetXOnXOff(TXOnXOffControl value);
    void SetXOnLimit(std::uint16_t value);
    void SetXOffLimit(std::uint16_t value);

  private:
    void Changed();
    TCustomComPort* port_;
    TDTRControl dtr_ = TDTRControl::dcDefault;
    TRTSControl rts_ = TRTSControl::rcDefault;
    TXOnXOffControl xOnXOff_ = TXOnXOffControl::xcDefault;
    std::uint16_t xOnLimit_ = 0;
    std::uint16_t xOffLimit_ = 0;
};

class TCharacters {
  public:
    explicit TCharacters(TCustomComPort* port) : port_(port) {}
    char XOn() const { return xOn_; }
    char XOff() const { return xOff_; }
    char Error() const { return error_; }
    char Eof() const { return eof_; }
    char Event() const { return event_; }
    void SetXOn(char value) { Set(&xOn_, value); }
    void SetXOff(char value) { Set(&xOff_, value); }
    void SetError(char value) { Set(&error_, value); }
    void SetEof(char value) { Set(&eof_, value); }
    void SetEvent(char value) { Set(&event_, value); }

  private:
    void Set(char* field, char value);
    TCustomComPort* port_;
    char xOn_ = 0x11;
    char xOff_ = 0x13;
    char error_ = 0;
    char eof_ = 0;
    char event_ = 0;
};

class TBufferSizes {
  public:
    explicit TBufferSizes(TCustomComPort* port) : port_(port) {}
    std::int32_t Input() const { return input_; }
    std::int32_t Output() const { return output_; }
    void SetInput(std::int32_t value);
    void SetOutput(std::int32_t value);

  private:
    TCustomComPort* port_;
    std::int32_t input_ = 4096;
    std::int32_t output_ = 2048;
};

// Driver time-outs in milliseconds, in the field order of the system's time-out record.
class TTimeouts {
  public:
    explicit TTimeouts(TCustomComPort* port) : port_(port) {}
    std::uint32_t ReadInterval() const { return values_[0]; }
    std::uint32_t ReadMultiplier() const { return values_[1]; }
    std::uint32_t ReadConstant() const { return values_[2]; }
    std::uint32_t WriteMultiplier() const { return values_[3]; }
    std::uint32_t WriteConstant() const { return values_[4]; }
    void SetReadInterval(std::uint32_t value) { Set(0, value); }
    void SetReadMultiplier(std::uint32_t value) { Set(1, value); }
    void SetReadConstant(std::uint32_t value) { Set(2, value); }
    void SetWriteMultiplier(std::uint32_t value) { Set(3, value); }
    void SetWriteConstant(std::uint32_t value) { Set(4, value); }

  private:
    void Set(int index, std::uint32_t value);
    TCustomComPort* port_;
    std::uint32_t values_[5] = {0, 0, 0, 0, 0};
};
