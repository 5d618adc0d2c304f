#include "upgrade/names/DfuNames.h"

#include <cstdio>
#include <iterator>

namespace upgrade {
namespace {

// Indexed by DFUEngine::ResultCode. Code 109 keeps the engine's own spelling.
constexpr const char* kResultNames[] = {
    "success",
    "aborted",
    "fail_unknown",
    "fail_unimplemented",
    "fail_os",
    "fail_exception",
    "fail_no_transport",
    "fail_no_upload",
    "fail_no_download",
    "fail_file_create",
    "fail_file_open",
    "fail_file_short",
    "fail_file_suffix",
    "fail_file_read",
    "fail_file_crc",
    "fail_file_vendor",
    "fail_file_product",
    "fail_reply_short",
    "fail_reply_long",
    "fail_dfu_target",
    "fail_dfu_file",
    "fail_dfu_write",
    "fail_dfu_erase",
    "fail_dfu_check_erased",
    "fail_dfu_prog",
    "fail_dfu_verify",
    "fail_dfu_address",
    "fail_dfu_not_done",
    "fail_dfu_firmware",
    "fail_dfu_vendor_num",
    "fail_dfu_vendor_str",
    "fail_dfu_usbr",
    "fail_dfu_por",
    "fail_dfu_unknown",
    "fail_dfu_stalledpkt",
    "fail_usb_open",
    "fail_usb_id",
    "fail_usb_desc_short",
    "fail_usb_desc_long",
    "fail_usb_desc_bad",
    "fail_usb_no_dfu",
    "fail_usb_none",
    "fail_usb_ps_read",
    "fail_usb_buffer",
    "fail_hci_unknown_cmd",
    "fail_hci_no_connection",
    "fail_hci_hardware_fail",
    "fail_hci_page_timeout",
    "fail_hci_auth_fail",
    "fail_hci_err_key_missing",
    "fail_hci_memory_full",
    "fail_hci_connect_timeout",
    "fail_hci_max_connect",
    "fail_hci_max_sco",
    "fail_hci_acl_exists",
    "fail_hci_cmd_disallowed",
    "fail_hci_host_rej_resource",
    "fail_hci_host_rej_security",
    "fail_hci_host_rej_personal",
    "fail_hci_host_timeout",
    "fail_hci_unsupported",
    "fail_hci_invalid_params",
    "fail_hci_term_user",
    "fail_hci_term_resource",
    "fail_hci_term_off",
    "fail_hci_term_local",
    "fail_hci_repeated",
    "fail_hci_no_pairing",
    "fail_hci_lmp_unknown",
    "fail_hci_unsupported_rem",
    "fail_hci_sco_offset",
    "fail_hci_sco_interval",
    "fail_hci_sco_air_mode",
    "fail_hci_lmp_invalid",
    "fail_hci_unspecified",
    "fail_hci_lmp_unsupported",
    "fail_hci_role_change",
    "fail_hci_lmp_timeout",
    "fail_hci_lmp_error",
    "fail_hci_lmp_not_allowed",
    "fail_hci_unknown",
    "fail_mode_no_dfu",
    "fail_mode_not_idle",
    "fail_mode_not_dnload_busy",
    "fail_mode_not_dnload_idle",
    "fail_mode_not_manifest",
    "fail_com_open",
    "fail_com_start",
    "fail_com_connect",
    "fail_com_none",
    "fail_com_fail",
    "fail_com_timeout",
    "fail_com_timeout_tx",
    "fail_com_timeout_rx",
    "fail_com_short",
    "fail_com_long",
    "fail_com_buffer",
    "fail_com_mismatched",
    "fail_bccmd_no_such_varid",
    "fail_bccmd_too_big",
    "fail_bccmd_no_value",
    "fail_bccmd_bad_req",
    "fail_bccmd_no_access",
    "fail_bccmd_read_only",
    "fail_bccmd_write_only",
    "fail_bccmd_error",
    "fail_bccmd_permission_denied",
    "fail_bccmd_unknown",
    "fail_btw_error",
    "fail_btw_not_suppored",
    "fail_btw_busy",
    "fail_btw_file",
    "fail_btw_download",
    "fail_btw_system",
    "fail_btw_vendor",
    "fail_btw_start_dfu",
    "fail_btw_status_short",
    "fail_btw_status_long",
};

// Indexed by DFUEngine::Operation.
constexpr const char* kOperationNames[] = {
    "ready",
    "reconfigure_connect",
    "reconfigure_start_runtime",
    "reconfigure_start_dfu",
    "reconfigure_checking",
    "upload_prepare",
    "upload_progress",
    "upload_verify",
    "download_prepare",
    "download_progress",
    "download_verify",
    "manifest_start_runtime",
    "manifest_retry_runtime",
    "manifest_fail",
    "recover_clean_up",
    "recover_fail",
};

// Indexed by DFUEngine::SubOperation.
constexpr const char* kSubOperationNames[] = {
    "no_sub_operation",
    "transport_bcsp_passive_le",
    "transport_bcsp_active_le",
    "transport_bcsp_no_le",
    "transport_h4",
    "transport_usb_wait",
    "transport_usb_open",
    "transport_usb_check",
    "transport_established",
    "download_processing",
};

static_assert(std::size(kResultNames) == kResultNameCount, "one result name per code");
static_assert(std::size(kOperationNames) == kOperationNameCount, "one operation name per code");
static_assert(std::size(kSubOperationNames) == kSubOperationNameCount,
              "one sub-operation name per code");

// "unknown(-2147483648)" is the longest text: 20 characters and the terminator.
using UnknownText = char[24];

template <size_t N>
const char* Lookup(const char* const (&table)[N], int32_t code, UnknownText& unknown) {
    if (code >= 0 && static_cast<size_t>(code) < N) {
        return table[code];
    }
    std::snprintf(unknown, sizeof unknown, "unknown(%ld)", static_cast<long>(code));
    return unknown;
}

}  // namespace

const char* ResultName(int32_t code) {
    thread_local UnknownText unknown;
    return Lookup(kResultNames, code, unknown);
}

const char* OperationName(int32_t code) {
    thread_local UnknownText unknown;
    return Lookup(kOperationNames, code, unknown);
}

const char* SubOperationName(int32_t code) {
    thread_local UnknownText unknown;
    return Lookup(kSubOperationNames, code, unknown);
}

}  // namespace upgrade
