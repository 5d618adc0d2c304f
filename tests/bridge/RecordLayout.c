/* Compiled as C: the public header must serve a C caller with the same record layout. */
#include <stddef.h>

#include "bridge/DfuBridge.h"

size_t DfuRecordSizeSeenFromC(void) {
    return sizeof(DfuStatusRecord);
}

size_t DfuRecordOffsetSeenFromC(int field) {
    static const size_t offsets[] = {
        offsetof(DfuStatusRecord, state),       offsetof(DfuStatusRecord, percent),
        offsetof(DfuStatusRecord, operation),   offsetof(DfuStatusRecord, bytesDone),
        offsetof(DfuStatusRecord, bytesTotal),  offsetof(DfuStatusRecord, result),
        offsetof(DfuStatusRecord, subOperation)};
    return offsets[field];
}
