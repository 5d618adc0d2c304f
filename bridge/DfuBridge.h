/* DfuBridge: a flat C interface over the DFU engine class library.
 *
 * Engine objects are handed out as opaque handles, strings cross as zero-terminated 8-bit
 * text in the system code page, and the engine's notifications arrive at one plain callback
 * function with a kind number and a fixed 28-byte status record. All functions use the
 * platform's default C calling convention and are exported under their plain names. */
#ifndef DFUBRIDGE_H
#define DFUBRIDGE_H

#include <stdint.h>

/* The .def file names the exports on Windows. cdecl is spelled out so that a caller built
 * with another default convention still calls correctly, and so that the i686 names stay
 * undecorated. */
#if defined(_WIN32)
#define DFUBRIDGE_API
#define DFUBRIDGE_CALL __cdecl
#else
#define DFUBRIDGE_API __attribute__((visibility("default")))
#define DFUBRIDGE_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The address of an engine object made by DFUEngine_Create; 0 means none. */
typedef struct DfuEngineObject* DfuEngineHandle;

/* 0 = false, any other value = true. */
typedef int32_t DfuBool;

/* The engine's status, flattened. Passed with every notification (valid only during the
 * call) and filled by DFUEngine_GetStatus. */
typedef struct DfuStatusRecord {
    int32_t state;        /* the engine's own state value, passed through unchanged */
    int32_t percent;      /* progress of the current step, 0 to 100 */
    int32_t operation;    /* DFUEngine::Operation code */
    int32_t bytesDone;    /* bytes transferred in the current step */
    int32_t bytesTotal;   /* bytes the current step transfers in all */
    int32_t result;       /* DFUEngine::ResultCode, 0 = success */
    int32_t subOperation; /* DFUEngine::SubOperation code */
} DfuStatusRecord;

#ifdef __cplusplus
static_assert(sizeof(DfuStatusRecord) == 28, "DfuStatusRecord crosses the DLL boundary");
#else
_Static_assert(sizeof(DfuStatusRecord) == 28, "DfuStatusRecord crosses the DLL boundary");
#endif

/* Notification kinds passed to the callback function. */
enum {
    DFU_NOTIFY_FIRST = 0,    /* the engine's first notification; carries no meaning */
    DFU_NOTIFY_PROGRESS = 1, /* progress of the running step */
    DFU_NOTIFY_COMPLETE = 2  /* the started step has ended; result tells how */
};

/* Called on the engine's own threads; the record lives only during the call. */
typedef void(DFUBRIDGE_CALL* DfuCallback)(int32_t kind, const DfuStatusRecord* record);

/* Capacities the caller provides. Nothing is written past them. */
#define DFU_DEVICE_NAME_SLOT 256  /* bytes per device name slot */
#define DFU_DEVICE_NAME_SLOTS 24  /* slots in a device name buffer */
#define DFU_FILE_COMMENT_SIZE 256 /* bytes of a file comment buffer */

DFUBRIDGE_API void DFUBRIDGE_CALL DFUEngine_InitDLL(void);
DFUBRIDGE_API int32_t DFUBRIDGE_CALL DFUEngine_SetTraceLevel(int32_t level);

DFUBRIDGE_API DfuEngineHandle DFUBRIDGE_CALL DFUEngine_Create(void);
DFUBRIDGE_API void DFUBRIDGE_CALL DFUEngine_Destroy(DfuEngineHandle engine);

DFUBRIDGE_API DfuBool DFUBRIDGE_CALL DFUEngine_CreateUSB(DfuEngineHandle engine,
                                                         const char* deviceName);

/* Fills up to DFU_DEVICE_NAME_SLOTS slots of DFU_DEVICE_NAME_SLOT bytes: name i at byte
 * offset 256 * i, followed by two zero bytes. A name that does not fit its slot is left out.
 * Returns the number of names stored; the buffer is untouched when it is 0. The handle is
 * not used. */
DFUBRIDGE_API int32_t DFUBRIDGE_CALL DFUEngine_GetUSBDeviceNames(DfuEngineHandle engine,
                                                                 char* names);

/* Registers the callback function once per process. Later calls change nothing. */
DFUBRIDGE_API void DFUBRIDGE_CALL DFUEngine_SetCallback(DfuEngineHandle engine,
                                                        DfuCallback callback);
/* The callback function registered for this very handle, or null. */
DFUBRIDGE_API DfuCallback DFUBRIDGE_CALL DFUEngine_GetCallback(DfuEngineHandle engine);

DFUBRIDGE_API DfuBool DFUBRIDGE_CALL DFUEngine_StartReconfigure(DfuEngineHandle engine,
                                                                int32_t flag1, int32_t flag2,
                                                                const char* fileName);
DFUBRIDGE_API DfuBool DFUBRIDGE_CALL DFUEngine_StartUpload(DfuEngineHandle engine,
                                                           const char* fileName);
DFUBRIDGE_API DfuBool DFUBRIDGE_CALL DFUEngine_StartDownload(DfuEngineHandle engine,
                                                             const char* fileName);
DFUBRIDGE_API DfuBool DFUBRIDGE_CALL DFUEngine_StartManifest(DfuEngineHandle engine);

DFUBRIDGE_API void DFUBRIDGE_CALL DFUEngine_GetStatus(DfuEngineHandle engine,
                                                      DfuStatusRecord* status);

/* Checks a firmware file and gives its comment, USB vendor and product IDs and device
 * release. comment (DFU_FILE_COMMENT_SIZE bytes) and the three values may
 * each be null. A comment too long for the buffer is cut at a character boundary. The
 * outputs are written whatever the answer. The handle is not used. */
DFUBRIDGE_API DfuBool DFUBRIDGE_CALL DFUEngine_IsDFUFileValid(DfuEngineHandle engine,
                                                              const char* fileName, char* comment,
                                                              uint32_t* vendor, uint32_t* product,
                                                              uint32_t* release);

#ifdef __cplusplus
}
#endif

#endif /* DFUBRIDGE_H */
