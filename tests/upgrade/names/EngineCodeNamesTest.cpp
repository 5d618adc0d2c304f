// The three name tables against the engine's own enumerations: one row per enumerator, named
// by the enumerator's identifier, so that a code added, removed, renumbered or renamed on
// either side fails here (or does not compile).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/DFUEngine.h"
#include "upgrade/names/DfuNames.h"

namespace upgrade {
namespace {

struct EngineCode {
    int value;
    const char* identifier;
};

#define QV_CODE(identifier)                \
    EngineCode {                           \
        DFUEngine::identifier, #identifier \
    }

const EngineCode kResultCodes[] = {
    QV_CODE(success),
    QV_CODE(aborted),
    QV_CODE(fail_unknown),
    QV_CODE(fail_unimplemented),
    QV_CODE(fail_os),
    QV_CODE(fail_exception),
    QV_CODE(fail_no_transport),
    QV_CODE(fail_no_upload),
    QV_CODE(fail_no_download),
    QV_CODE(fail_file_create),
    QV_CODE(fail_file_open),
    QV_CODE(fail_file_short),
    QV_CODE(fail_file_suffix),
    QV_CODE(fail_file_read),
    QV_CODE(fail_file_crc),
    QV_CODE(fail_file_vendor),
    QV_CODE(fail_file_product),
    QV_CODE(fail_reply_short),
    QV_CODE(fail_reply_long),
    QV_CODE(fail_dfu_target),
    QV_CODE(fail_dfu_file),
    QV_CODE(fail_dfu_write),
    QV_CODE(fail_dfu_erase),
    QV_CODE(fail_dfu_check_erased),
    QV_CODE(fail_dfu_prog),
    QV_CODE(fail_dfu_verify),
    QV_CODE(fail_dfu_address),
    QV_CODE(fail_dfu_not_done),
    QV_CODE(fail_dfu_firmware),
    QV_CODE(fail_dfu_vendor_num),
    QV_CODE(fail_dfu_vendor_str),
    QV_CODE(fail_dfu_usbr),
    QV_CODE(fail_dfu_por),
    QV_CODE(fail_dfu_unknown),
    QV_CODE(fail_dfu_stalledpkt),
    QV_CODE(fail_usb_open),
    QV_CODE(fail_usb_id),
    QV_CODE(fail_usb_desc_short),
    QV_CODE(fail_usb_desc_long),
    QV_CODE(fail_usb_desc_bad),
    QV_CODE(fail_usb_no_dfu),
    QV_CODE(fail_usb_none),
    QV_CODE(fail_usb_ps_read),
    QV_CODE(fail_usb_buffer),
    QV_CODE(fail_hci_unknown_cmd),
    QV_CODE(fail_hci_no_connection),
    QV_CODE(fail_hci_hardware_fail),
    QV_CODE(fail_hci_page_timeout),
    QV_CODE(fail_hci_auth_fail),
    QV_CODE(fail_hci_err_key_missing),
    QV_CODE(fail_hci_memory_full),
    QV_CODE(fail_hci_connect_timeout),
    QV_CODE(fail_hci_max_connect),
    QV_CODE(fail_hci_max_sco),
    QV_CODE(fail_hci_acl_exists),
    QV_CODE(fail_hci_cmd_disallowed),
    QV_CODE(fail_hci_host_rej_resource),
    QV_CODE(fail_hci_host_rej_security),
    QV_CODE(fail_hci_host_rej_personal),
    QV_CODE(fail_hci_host_timeout),
    QV_CODE(fail_hci_unsupported),
    QV_CODE(fail_hci_invalid_params),
    QV_CODE(fail_hci_term_user),
    QV_CODE(fail_hci_term_resource),
    QV_CODE(fail_hci_term_off),
    QV_CODE(fail_hci_term_local),
    QV_CODE(fail_hci_repeated),
    QV_CODE(fail_hci_no_pairing),
    QV_CODE(fail_hci_lmp_unknown),
    QV_CODE(fail_hci_unsupported_rem),
    QV_CODE(fail_hci_sco_offset),
    QV_CODE(fail_hci_sco_interval),
    QV_CODE(fail_hci_sco_air_mode),
    QV_CODE(fail_hci_lmp_invalid),
    QV_CODE(fail_hci_unspecified),
    QV_CODE(fail_hci_lmp_unsupported),
    QV_CODE(fail_hci_role_change),
    QV_CODE(fail_hci_lmp_timeout),
    QV_CODE(fail_hci_lmp_error),
    QV_CODE(fail_hci_lmp_not_allowed),
    QV_CODE(fail_hci_unknown),
    QV_CODE(fail_mode_no_dfu),
    QV_CODE(fail_mode_not_idle),
    QV_CODE(fail_mode_not_dnload_busy),
    QV_CODE(fail_mode_not_dnload_idle),
    QV_CODE(fail_mode_not_manifest),
    QV_CODE(fail_com_open),
    QV_CODE(fail_com_start),
    QV_CODE(fail_com_connect),
    QV_CODE(fail_com_none),
    QV_CODE(fail_com_fail),
    QV_CODE(fail_com_timeout),
    QV_CODE(fail_com_timeout_tx),
    QV_CODE(fail_com_timeout_rx),
    QV_CODE(fail_com_short),
    QV_CODE(fail_com_long),
    QV_CODE(fail_com_buffer),
    QV_CODE(fail_com_mismatched),
    QV_CODE(fail_bccmd_no_such_varid),
    QV_CODE(fail_bccmd_too_big),
    QV_CODE(fail_bccmd_no_value),
    QV_CODE(fail_bccmd_bad_req),
    QV_CODE(fail_bccmd_no_access),
    QV_CODE(fail_bccmd_read_only),
    QV_CODE(fail_bccmd_write_only),
    QV_CODE(fail_bccmd_error),
    QV_CODE(fail_bccmd_permission_denied),
    QV_CODE(fail_bccmd_unknown),
    QV_CODE(fail_btw_error),
    QV_CODE(fail_btw_not_suppored),
    QV_CODE(fail_btw_busy),
    QV_CODE(fail_btw_file),
    QV_CODE(fail_btw_download),
    QV_CODE(fail_btw_system),
    QV_CODE(fail_btw_vendor),
    QV_CODE(fail_btw_start_dfu),
    QV_CODE(fail_btw_status_short),
    QV_CODE(fail_btw_status_long),
};

const EngineCode kOperations[] = {
    QV_CODE(ready),
    QV_CODE(reconfigure_connect),
    QV_CODE(reconfigure_start_runtime),
    QV_CODE(reconfigure_start_dfu),
    QV_CODE(reconfigure_checking),
    QV_CODE(upload_prepare),
    QV_CODE(upload_progress),
    QV_CODE(upload_verify),
    QV_CODE(download_prepare),
    QV_CODE(download_progress),
    QV_CODE(download_verify),
    QV_CODE(manifest_start_runtime),
    QV_CODE(manifest_retry_runtime),
    QV_CODE(manifest_fail),
    QV_CODE(recover_clean_up),
    QV_CODE(recover_fail),
};

const EngineCode kSubOperations[] = {
    QV_CODE(no_sub_operation),
    QV_CODE(transport_bcsp_passive_le),
    QV_CODE(transport_bcsp_active_le),
    QV_CODE(transport_bcsp_no_le),
    QV_CODE(transport_h4),
    QV_CODE(transport_usb_wait),
    QV_CODE(transport_usb_open),
    QV_CODE(transport_usb_check),
    QV_CODE(transport_established),
    QV_CODE(download_processing),
};

#undef QV_CODE

struct TableCase {
    const char* table;
    const char* (*lookup)(int32_t);
    int32_t namedCount;
    int engineCount;
    std::vector<EngineCode> codes;
};

TEST(EngineCodeNamesTest, EveryEnumeratorHasItsOwnNameAndTheCountsAgree) {
    const TableCase tables[] = {
        {"results",
         ResultName,
         kResultNameCount,
         DFUEngine::kResultCodeCount,
         {std::begin(kResultCodes), std::end(kResultCodes)}},
        {"operations",
         OperationName,
         kOperationNameCount,
         DFUEngine::kOperationCount,
         {std::begin(kOperations), std::end(kOperations)}},
        {"sub-operations",
         SubOperationName,
         kSubOperationNameCount,
         DFUEngine::kSubOperationCount,
         {std::begin(kSubOperations), std::end(kSubOperations)}},
    };
    for (const TableCase& t : tables) {
        SCOPED_TRACE(t.table);
        EXPECT_EQ(t.namedCount, t.engineCount);
        ASSERT_EQ(static_cast<int>(t.codes.size()), t.engineCount);
        for (std::size_t i = 0; i < t.codes.size(); ++i) {
            // The enumerators run 0, 1, 2, ... without gaps, so each table row is one code.
            EXPECT_EQ(t.codes[i].value, static_cast<int>(i)) << t.codes[i].identifier;
            EXPECT_EQ(std::string(t.lookup(t.codes[i].value)), t.codes[i].identifier);
        }
    }
}

}  // namespace
}  // namespace upgrade
