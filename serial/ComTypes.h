// The enumerations of the serial port's settings. A "...Default" value leaves the driver's
// current value in place.
#pragma once

#include <cstdint>
#include <initializer_list>

enum class TBaudRate {
    brDefault,
    br50,
    br75,
    br110,
    br150,
    br300,
    br600,
    br1200,
    br1800,
    br2000,
    br2400,
    br3600,
    br4800,
    br7200,
    br9600,
    br10400,
    br14400,
    br15625,
    br19200,
    br28800,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brCustom
};

enum class TDataBits { dbDefault, db4, db5, db6, db7, db8, db9 };

enum class TParity { paDefault, paNone, paOdd, paEven, paMark, paSpace };

enum class TStopBits { sbDefault, sb1, sb1_5, sb2 };

enum class TDTRControl { dcDefault, dcDisable, dcEnable, dcHandshake };

enum class TRTSControl { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };

enum class TXOnXOffControl { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };

// The device-control-block flags that Options sets when present and clears when absent.
enum class TOption {
    opCheckParity,
    opOutputCTSFlow,
    opOutputDSRFlow,
    opDSRSensitivity,
    opTXContinueOnXOff,
    opUseErrorChar,
    opDiscardNullBytes,
    opAbortOnError
};

// A set of TOption.
class TOptions {
  public:
    TOptions() = default;
    TOptions(std::initializer_list<TOption> options) {
        for (TOption option : options) Include(option);
    }
    bool Contains(TOption option) const { return (bits_ & Bit(option)) != 0; }
    void Include(TOption option) { bits_ |= Bit(option); }
    void Exclude(TOption option) { bits_ &= ~Bit(option); }
    bool operator==(const TOptions& other) const { return bits_ == other.bits_; }
    bool operator!=(const TOptions& other) const { return bits_ != other.bits_; }

  private:
    static std::uint8_t Bit(TOption option) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(option));
    }
    std::uint8_t bits_ = 0;
};

// The seven priority levels of the event thread.
enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};
