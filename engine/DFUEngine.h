// DFUEngine: a USB DFU 1.1 host as a class library.
//
// One DFUEngine object drives one device through the three steps of an upgrade (reconfigure,
// download, manifest) or reads its image back (upload). Each Start... call answers at once
// whether the step started; the step then runs on the engine's own thread and reports through
// the Callback: the first notification when the step's activity changes, the second for
// progress, the third once when the step has ended (result code 0 = success).
//
// Strings at this interface are wide. Classes are exported whole so that callers built by the
// same compiler can use them across the library boundary; every allocation the library makes is
// also released inside the library (CStringX, CStringListX own their storage out of line).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#if defined(DFUENGINE_BUILD)
#define DFUENGINE_API __declspec(dllexport)
#else
#define DFUENGINE_API __declspec(dllimport)
#endif
#else
#define DFUENGINE_API __attribute__((visibility("default")))
#endif

// A wide string that owns its characters. Never null: an empty string is "".
class DFUENGINE_API CStringX {
  public:
    CStringX();
    CStringX(const wchar_t* text);  // NOLINT: converts implicitly like the strings it replaces
    CStringX(const wchar_t* text, std::size_t length);
    CStringX(const CStringX& other);
    CStringX& operator=(const CStringX& other);
    CStringX& operator=(const wchar_t* text);
    ~CStringX();

    const wchar_t* GetString() const { return data_; }
    operator const wchar_t*() const { return data_; }
    std::size_t GetLength() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    void Empty();
    bool operator==(const CStringX& other) const;
    bool operator!=(const CStringX& other) const { return !(*this == other); }

  private:
    void Assign(const wchar_t* text, std::size_t length);

    wchar_t* data_;
    std::size_t length_;
};

// An ordered list of wide strings. Walk it from the head:
//   for (auto pos = list.GetHeadPosition(); pos != nullptr;) { const CStringX& s =
//   list.GetNext(pos); }
class DFUENGINE_API CStringListX {
  public:
    // Opaque position of an element; null past the tail.
    using Position = const void*;

    CStringListX();
    CStringListX(const CStringListX& other);
    CStringListX& operator=(const CStringListX& other);
    ~CStringListX();

    void AddTail(const CStringX& text);
    void RemoveAll();
    std::size_t GetCount() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }
    Position GetHeadPosition() const;
    // The element at pos; pos moves on to the next element (null after the tail).
    const CStringX& GetNext(Position& pos) const;

  private:
    struct Node;
    Node* head_;
    Node* tail_;
    std::size_t count_;
};

class DFUENGINE_API DFUEngine {
  public:
    // Result of a step. 0 is success, every other code a failure.
    enum ResultCode {
        success = 0,
        aborted = 1,
        fail_unknown = 2,
        fail_unimplemented = 3,
        fail_os = 4,
        fail_exception = 5,
        fail_no_transport = 6,
        fail_no_upload = 7,
        fail_no_download = 8,
        fail_file_create = 9,
        fail_file_open = 10,
        fail_file_short = 11,
        fail_file_suffix = 12,
        fail_file_read = 13,
        fail_file_crc = 14,
        fail_file_vendor = 15,
        fail_file_product = 16,
        fail_reply_short = 17,
        fail_reply_long = 18,
        fail_dfu_target = 19,
        fail_dfu_file = 20,
        fail_dfu_write = 21,
        fail_dfu_erase = 22,
        fail_dfu_check_erased = 23,
        fail_dfu_prog = 24,
        fail_dfu_verify = 25,
        fail_dfu_address = 26,
        fail_dfu_not_done = 27,
        fail_dfu_firmware = 28,
        fail_dfu_vendor_num = 29,
        fail_dfu_vendor_str = 30,
        fail_dfu_usbr = 31,
        fail_dfu_por = 32,
        fail_dfu_unknown = 33,
        fail_dfu_stalledpkt = 34,
        fail_usb_open = 35,
        fail_usb_id = 36,
        fail_usb_desc_short = 37,
        fail_usb_desc_long = 38,
        fail_usb_desc_bad = 39,
        fail_usb_no_dfu = 40,
        fail_usb_none = 41,
        fail_usb_ps_read = 42,
        fail_usb_buffer = 43,
        fail_hci_unknown_cmd = 44,
        fail_hci_no_connection = 45,
        fail_hci_hardware_fail = 46,
        fail_hci_page_timeout = 47,
        fail_hci_auth_fail = 48,
        fail_hci_err_key_missing = 49,
        fail_hci_memory_full = 50,
        fail_hci_connect_timeout = 51,
        fail_hci_max_connect = 52,
        fail_hci_max_sco = 53,
        fail_hci_acl_exists = 54,
        fail_hci_cmd_disallowed = 55,
        fail_hci_host_rej_resource = 56,
        fail_hci_host_rej_security = 57,
        fail_hci_host_rej_personal = 58,
        fail_hci_host_timeout = 59,
        fail_hci_unsupported = 60,
        fail_hci_invalid_params = 61,
        fail_hci_term_user = 62,
        fail_hci_term_resource = 63,
        fail_hci_term_off = 64,
        fail_hci_term_local = 65,
        fail_hci_repeated = 66,
        fail_hci_no_pairing = 67,
        fail_hci_lmp_unknown = 68,
        fail_hci_unsupported_rem = 69,
        fail_hci_sco_offset = 70,
        fail_hci_sco_interval = 71,
        fail_hci_sco_air_mode = 72,
        fail_hci_lmp_invalid = 73,
        fail_hci_unspecified = 74,
        fail_hci_lmp_unsupported = 75,
        fail_hci_role_change = 76,
        fail_hci_lmp_timeout = 77,
        fail_hci_lmp_error = 78,
        fail_hci_lmp_not_allowed = 79,
        fail_hci_unknown = 80,
        fail_mode_no_dfu = 81,
        fail_mode_not_idle = 82,
        fail_mode_not_dnload_busy = 83,
        fail_mode_not_dnload_idle = 84,
        fail_mode_not_manifest = 85,
        fail_com_open = 86,
        fail_com_start = 87,
        fail_com_connect = 88,
        fail_com_none = 89,
        fail_com_fail = 90,
        fail_com_timeout = 91,
        fail_com_timeout_tx = 92,
        fail_com_timeout_rx = 93,
        fail_com_short = 94,
        fail_com_long = 95,
        fail_com_buffer = 96,
        fail_com_mismatched = 97,
        fail_bccmd_no_such_varid = 98,
        fail_bccmd_too_big = 99,
        fail_bccmd_no_value = 100,
        fail_bccmd_bad_req = 101,
        fail_bccmd_no_access = 102,
        fail_bccmd_read_only = 103,
        fail_bccmd_write_only = 104,
        fail_bccmd_error = 105,
        fail_bccmd_permission_denied = 106,
        fail_bccmd_unknown = 107,
        fail_btw_error = 108,
        fail_btw_not_suppored = 109,
        fail_btw_busy = 110,
        fail_btw_file = 111,
        fail_btw_download = 112,
        fail_btw_system = 113,
        fail_btw_vendor = 114,
        fail_btw_start_dfu = 115,
        fail_btw_status_short = 116,
        fail_btw_status_long = 117,
    };
    static constexpr int kResultCodeCount = 118;

    // What the running step is doing.
    enum Operation {
        ready = 0,
        reconfigure_connect = 1,
        reconfigure_start_runtime = 2,
        reconfigure_start_dfu = 3,
        reconfigure_checking = 4,
        upload_prepare = 5,
        upload_progress = 6,
        upload_verify = 7,
        download_prepare = 8,
        download_progress = 9,
        download_verify = 10,
        manifest_start_runtime = 11,
        manifest_retry_runtime = 12,
        manifest_fail = 13,
        recover_clean_up = 14,
        recover_fail = 15,
    };
    static constexpr int kOperationCount = 16;

    // The finer stage within an operation.
    enum SubOperation {
        no_sub_operation = 0,
        transport_bcsp_passive_le = 1,
        transport_bcsp_active_le = 2,
        transport_bcsp_no_le = 3,
        transport_h4 = 4,
        transport_usb_wait = 5,
        transport_usb_open = 6,
        transport_usb_check = 7,
        transport_established = 8,
        download_processing = 9,
    };
    static constexpr int kSubOperationCount = 10;

    // The leading value of Status: where the engine's current step stands.
    enum StepState {
        step_idle = 0,      // no step has run on this engine yet
        step_running = 1,   // a step is running
        step_complete = 2,  // the last step has ended; its result tells how
    };

    class DFUENGINE_API Result {
      public:
        Result(ResultCode code = success) : code_(code) {}  // NOLINT: a code is a result
        ResultCode GetCode() const { return code_; }
        bool IsSuccess() const { return code_ == success; }

      private:
        ResultCode code_;
    };

    class DFUENGINE_API Activity {
      public:
        Activity() = default;
        Activity(Operation operation, SubOperation subOperation, std::uint32_t bytesDone,
                 std::uint32_t bytesTotal, Result result)
            : operation_(operation),
              subOperation_(subOperation),
              bytesDone_(bytesDone),
              bytesTotal_(bytesTotal),
              result_(result) {}
        Operation GetOperation() const { return operation_; }
        SubOperation GetSubOperation() const { return subOperation_; }
        std::uint32_t GetBytesDone() const { return bytesDone_; }
        std::uint32_t GetBytesTotal() const { return bytesTotal_; }
        Result GetResult() const { return result_; }

      private:
        Operation operation_ = ready;
        SubOperation subOperation_ = no_sub_operation;
        std::uint32_t bytesDone_ = 0;
        std::uint32_t bytesTotal_ = 0;
        Result result_;
    };

    // A snapshot of the engine: filled by GetStatus and passed to every notification.
    struct DFUENGINE_API Status {
        StepState state = step_idle;
        int percent = 0;  // progress of the current step, 0 to 100
        Activity activity;

        const Activity& GetActivity() const { return activity; }
    };

    // Receives the engine's notifications on the engine's own thread. The status is valid during
    // the call only. A handler may start the next step from the completion notification, but it
    // must not destroy the engine there.
    class DFUENGINE_API Callback {
      public:
        virtual ~Callback();
        // 1st: the running step's operation or sub-operation changed (also once at its start).
        virtual void OnActivity(DFUEngine* engine, const Status& status);
        // 2nd: progress of the running step (percent, bytes).
        virtual void OnProgress(DFUEngine* engine, const Status& status);
        // 3rd: the step has ended; status.activity.GetResult() tells how.
        virtual void OnComplete(DFUEngine* engine, const Status& status);
    };

    DFUEngine();
    ~DFUEngine();  // stops a running step (it completes with "aborted") and closes the device
    DFUEngine(const DFUEngine&) = delete;
    DFUEngine& operator=(const DFUEngine&) = delete;

    // Opens the device named by one of GetUSBDeviceNames' names. False when it cannot be opened
    // or a step is running.
    bool CreateUSB(const wchar_t* deviceName);

    // Why the last CreateUSB failed; open_ok after a successful one.
    enum OpenProblem {
        open_ok = 0,
        open_not_found = 1,
        open_busy = 2,
        open_no_driver = 3,
        open_access_denied = 4,
        open_failed = 5,
    };
    // detail: a short English line for logs and console output, e.g.
    //   "no WinUSB driver is bound to USB\VID_1209&PID_4B58"; vendor/product: the device's USB
    //   IDs when known, else 0.
    OpenProblem GetLastOpenProblem(CStringX& detail, std::uint32_t& vendor,
                                   std::uint32_t& product) const;

    // Engine trace: one line per notable event (open problems, resets, re-finds, manifest
    // endings), from whichever thread the engine runs on; null sink turns it off. Process-wide.
    using TraceSink = void (*)(void* context, const wchar_t* line);
    static void SetTraceSink(TraceSink sink, void* context);
    // The callback for the following steps (null: none). Not owned.
    void SetCallback(Callback* callback);

    // Reconfigure: bring the opened device to dfuIDLE in DFU mode.
    //   dfuModeOnly: a device found in run-time mode is refused (fail_mode_no_dfu) instead of
    //                being detached into DFU mode.
    //   checkFile:   the firmware file is validated and its vendor and product must match the
    //                device (0xFFFF in the file matches any).
    bool StartReconfigure(bool dfuModeOnly, bool checkFile, const wchar_t* fileName);
    // Upload: read the device's firmware image into a new file.
    bool StartUpload(const wchar_t* fileName);
    // Download: write the image of a firmware file, then read it back and compare where the
    // device can upload.
    bool StartDownload(const wchar_t* fileName);
    // Manifest: end the download, let the device manifest and wait for it in run-time mode.
    bool StartManifest();

    void GetStatus(Status& status) const;

    // Names of the DFU devices attached now (run-time and DFU mode); false when there are none.
    static bool GetUSBDeviceNames(CStringListX& names);
    // Whether fileName is a usable firmware file. Fills its comment text and vendor, product and
    // device release (bcdDevice) from the suffix; on failure the comment is empty and the three
    // values are 0.
    static bool IsDFUFileValid(const wchar_t* fileName, CStringX& comment, std::uint32_t& vendor,
                               std::uint32_t& product, std::uint32_t& release);
    // Library start-up; optional, repeated calls are harmless.
    static void InitDLL();

  private:
    class Impl;
    Impl* impl_;
};
