/*
 * NetWare client declarations shared by the client libraries and by the
 * program's binding code: scalar and handle types, completion codes, the
 * records the client fills, and one function type per entry point.
 *
 * The entry points are listed once, per library, as X-macro tables
 * (nwclient_entries.h):
 *     X(return type, name, (parameters), (argument names))
 * From the tables come the function-pointer types (PFN_<name>) that the
 * program binds by name, and the forwarding exports of the client libraries.
 */
#ifndef NWCLIENT_H
#define NWCLIENT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention: arguments right to left, removed by the callee where
 * the platform knows such a convention; plain C calls elsewhere. */
#if defined(__i386__)
#define NWAPI __attribute__((stdcall))
#else
#define NWAPI
#endif
#define NWEXPORT __attribute__((visibility("default")))

typedef int8_t nint8;
typedef uint8_t nuint8;
typedef int16_t nint16;
typedef uint16_t nuint16;
typedef int32_t nint32;
typedef uint32_t nuint32;
typedef int nint;
typedef void *nptr;
typedef uint32_t nflag32;

typedef nint32 NWCCODE;            /* completion code of a calls entry point */
typedef nint32 NWDSCCODE;          /* completion code of a directory entry point */
typedef nuint32 NWCONN_HANDLE;     /* opaque connection handle, never a number */
typedef nuint16 NWCONN_NUM;        /* connection slot number on a server, from 1 */
typedef nint32 NWDSContextHandle;  /* directory context; 0 or less means none */
typedef nuint32 NWCCConnRef;       /* connection reference */
typedef nint32 NWFILE_HANDLE;      /* operating-system file handle of a stream */
typedef nuint8 NWDIR_HANDLE;

/* Opaque request/reply buffer of the directory client. */
typedef struct Buf_T Buf_T;
typedef Buf_T *pBuf_T;

/* ---- sizes ------------------------------------------------------------ */
#define NW_DEFAULT_BUFFER_SIZE 4096
#define MAX_DN_BYTES 256            /* directory object name incl. terminator */
#define MAX_SCHEMA_NAME_BYTES 34    /* attribute name incl. terminator */
#define NW_MAX_CONTEXT_NAME 128     /* context name incl. terminator */
#define NW_MAX_BINDERY_NAME 48      /* bindery object / server name incl. terminator */
#define NW_MAX_TREE_NAME_LEN 33
#define NW_MAX_SERVER_NAME_LEN 49
#define NW_MAX_PATH 256
#define NW_MAX_MESSAGE 128
#define NW_MAX_PASSWORD 128
#define NW_MAX_QUEUE_JOBS 250

/* ---- context keys and flags ------------------------------------------ */
#define DCK_FLAGS 1
#define DCK_CONFIDENCE 2
#define DCK_NAME_CONTEXT 3
#define DCK_TRANSPORT_TYPE 4
#define DCK_REFERRAL_SCOPE 5

#define DCV_DEREF_ALIASES 0x01
#define DCV_XLATE_STRINGS 0x02
#define DCV_TYPELESS_NAMES 0x04
#define DCV_ASYNC_MODE 0x08
#define DCV_CANONICALIZE_NAMES 0x10
#define DCV_DEREF_BASE_CLASS 0x40
#define DCV_DISALLOW_REFERRALS 0x80

/* Flags of a freshly created context. */
#define DCV_DEFAULT_FLAGS (DCV_DEREF_ALIASES | DCV_XLATE_STRINGS | DCV_CANONICALIZE_NAMES)

/* Buffer operations and read information types. */
#define DSV_READ 3
#define DSV_SEARCH 6
#define DS_ATTRIBUTE_NAMES 0
#define DS_ATTRIBUTE_VALUES 1
#define NO_MORE_ITERATIONS (-1)

/* Stream open flags. */
#define DS_READ_STREAM 1
#define DS_WRITE_STREAM 2

/* Attribute syntaxes. */
#define SYN_UNKNOWN 0
#define SYN_DIST_NAME 1
#define SYN_CE_STRING 2
#define SYN_CI_STRING 3
#define SYN_PR_STRING 4
#define SYN_NU_STRING 5
#define SYN_CI_LIST 6
#define SYN_BOOLEAN 7
#define SYN_INTEGER 8
#define SYN_OCTET_STRING 9
#define SYN_TEL_NUMBER 10
#define SYN_FAX_NUMBER 11
#define SYN_NET_ADDRESS 12
#define SYN_OCTET_LIST 13
#define SYN_EMAIL_ADDRESS 14
#define SYN_PATH 15
#define SYN_REPLICA_POINTER 16
#define SYN_OBJECT_ACL 17
#define SYN_PO_ADDRESS 18
#define SYN_TIMESTAMP 19
#define SYN_CLASS_NAME 20
#define SYN_STREAM 21
#define SYN_COUNTER 22
#define SYN_BACK_LINK 23
#define SYN_TIME 24
#define SYN_TYPED_NAME 25
#define SYN_HOLD 26
#define SYN_INTERVAL 27

/* Bindery object types as passed to the client (type number high byte first). */
#define OT_USER 0x0100
#define OT_USER_GROUP 0x0200
#define OT_PRINT_QUEUE 0x0300
#define OT_FILE_SERVER 0x0400
#define OT_JOB_SERVER 0x0500
#define OT_GATEWAY 0x0600
#define OT_PRINT_SERVER 0x0700
#define OT_ARCHIVE_QUEUE 0x0800
#define OT_ARCHIVE_SERVER 0x0900
#define OT_JOB_QUEUE 0x0A00
#define OT_ADMINISTRATION 0x0B00
#define OT_NAS_SNA_GATEWAY 0x2100
#define OT_REMOTE_BRIDGE_SERVER 0x2600
#define OT_TCPIP_GATEWAY 0x2700
#define OT_TREE_NAME 0x7802         /* tree advertisement 0x0278, byte-swapped */
#define OT_WILD 0xFFFF

/* Connection information types of NWCCGetConnInfo. */
#define NWCC_INFO_AUTHENT_STATE 1
#define NWCC_INFO_BCAST_STATE 2
#define NWCC_INFO_CONN_REF 3
#define NWCC_INFO_TREE_NAME 4
#define NWCC_INFO_CONN_NUMBER 5
#define NWCC_INFO_USER_ID 6
#define NWCC_INFO_SERVER_NAME 7
#define NWCC_INFO_VERSION 8
#define NWCC_INFO_MAX_PACKET_SIZE 9

#define NWCC_OPEN_LICENSED 1
#define NWCC_OPEN_UNLICENSED 2
#define NWCC_NAME_FORMAT_BIND 2
#define NWCC_TRAN_TYPE_WILD 0

/* Broadcast modes. */
#define NWCC_BCAST_PERMIT_ALL 0
#define NWCC_BCAST_PERMIT_SYSTEM 1
#define NWCC_BCAST_PERMIT_NONE 2
#define NWCC_BCAST_PERMIT_POLL 3

/* Directory search attributes of NWIntScanDirEntryInfo. */
#define FA_NORMAL 0x00
#define FA_READ_ONLY 0x01
#define FA_HIDDEN 0x02
#define FA_SYSTEM 0x04
#define FA_DIRECTORY 0x10

/* Drive status bits of NWGetDriveStatus. */
#define NW_UNMAPPED_DRIVE 0x0000
#define NW_FREE_DRIVE 0x0000
#define NW_CDROM_DRIVE 0x0400
#define NW_LOCAL_FREE_DRIVE 0x0800
#define NW_LOCAL_DRIVE 0x1000
#define NW_NETWORK_DRIVE 0x2000
#define NW_LITE_DRIVE 0x4000
#define NW_PNW_DRIVE 0x4000
#define NW_NETWARE_DRIVE 0x8000

/* Queue job control flags. */
#define QF_AUTO_START 0x08
#define QF_ENTRY_RESTART 0x10
#define QF_ENTRY_OPEN 0x20
#define QF_USER_HOLD 0x40
#define QF_OPERATOR_HOLD 0x80

/* ---- completion codes -------------------------------------------------- */
#define SUCCESSFUL 0

/* Requester (workstation) errors. */
#define ALREADY_ATTACHED 0x8800
#define INVALID_CONNECTION 0x8801
#define DRIVE_IN_USE 0x8802
#define CANT_ADD_CDS 0x8803
#define DRIVE_CANNOT_MAP 0x8804
#define BAD_DRIVE_BASE 0x8805
#define NET_READ_ERROR 0x8806
#define UNKNOWN_NET_ERROR 0x8808
#define SERVER_INVALID_SLOT 0x8809
#define NO_SERVER_SLOTS 0x880A
#define NET_SEND_ERROR 0x880B
#define SERVER_NO_ROUTE 0x880C
#define CONNECT_LIST_OVERFLOW 0x880F
#define BUFFER_OVERFLOW 0x8810
#define NO_CONN_TO_SERVER 0x8811
#define NO_ROUTER_FOUND 0x8812
#define BAD_FUNC_ERROR 0x8813
#define INVALID_SHELL_CALL 0x8815
#define NOT_SAME_CONNECTION 0x881E
#define INVALID_PARAMETER 0x8836
#define NWE_NO_MORE_ENTRIES 0x8848
#define INVALID_DRIVE 0x884A
#define NWE_SERVER_NOT_FOUND 0x8847
#define NWE_REQUESTER_FAILURE 0x88FF
#define NWE_INVALID_NCP_PACKET_LENGTH 0x8816
#define NWE_CONN_NUM_INVALID 0x8870
#define NWE_DRIVE_NOT_MAPPED 0x8873
#define NWE_UNICODE_TABLES_NOT_LOADED 0x8874

/* Server (NCP) errors. */
#define SERVER_OUT_OF_MEMORY 0x8996
#define VOLUME_DOES_NOT_EXIST 0x8998
#define BAD_DIRECTORY_HANDLE 0x899B
#define INVALID_PATH 0x899C
#define NO_MORE_DIRECTORY_HANDLES 0x899D
#define NO_CONSOLE_PRIVILEGES 0x89C6
#define NO_QUEUE 0x89D1
#define NO_QUEUE_SERVER 0x89D2
#define NO_QUEUE_RIGHTS 0x89D3
#define QUEUE_FULL 0x89D4
#define NO_QUEUE_JOB 0x89D5
#define NO_JOB_RIGHTS 0x89D6
#define BAD_PASSWORD 0x89DE
#define NO_OBJECT_READ_RIGHTS 0x89F2
#define NO_PROPERTY_READ_PRIVILEGE 0x89F9
#define NO_SUCH_PROPERTY 0x89FB
#define NO_SUCH_OBJECT 0x89FC
#define BAD_STATION_NUMBER 0x89FD
#define NO_FILES_FOUND 0x89FF
#define FAILURE 0x89FF

/* Directory client errors. */
#define ERR_NOT_ENOUGH_MEMORY (-301)
#define ERR_BAD_KEY (-302)
#define ERR_BAD_CONTEXT (-303)
#define ERR_BUFFER_FULL (-304)
#define ERR_LIST_EMPTY (-305)
#define ERR_BAD_SYNTAX (-306)
#define ERR_BUFFER_EMPTY (-307)
#define ERR_BAD_VERB (-308)
#define ERR_INVALID_OBJECT_NAME (-314)
#define ERR_SYSTEM_ERROR (-319)
#define ERR_INVALID_HANDLE (-322)
#define ERR_BUFFER_ZERO_LENGTH (-323)
#define ERR_CONTEXT_CREATION (-328)
#define ERR_NULL_POINTER (-331)
#define ERR_NO_SERVER_FOUND (-332)
#define ERR_NO_CONNECTION (-333)
#define ERR_RDN_TOO_LONG (-334)
#define ERR_NOT_LOGGED_IN (-337)
#define ERR_INVALID_PASSWORD_CHARS (-338)
#define ERR_FAILED_SERVER_AUTHENT (-339)
#define ERR_TRANSPORT (-340)
#define ERR_NO_SUCH_SYNTAX (-341)
#define ERR_INVALID_DS_NAME (-342)
#define ERR_ATTR_NAME_TOO_LONG (-343)
#define ERR_DN_TOO_LONG (-353)
#define ERR_INVALID_API_VERSION (-683)

/* Unicode table errors of the locale library. */
#define UNI_ALREADY_LOADED (-489)
#define UNI_NO_SUCH_FILE (-491)
#define UNI_LOAD_FAILED (-495)

/* Directory server errors. */
#define ERR_NO_SUCH_ENTRY (-601)
#define ERR_NO_SUCH_VALUE (-602)
#define ERR_NO_SUCH_ATTRIBUTE (-603)
#define ERR_NO_SUCH_CLASS (-604)
#define ERR_ILLEGAL_ATTRIBUTE (-608)
#define ERR_ILLEGAL_DS_NAME (-610)
#define ERR_SYNTAX_VIOLATION (-613)
#define ERR_TRANSPORT_FAILURE (-625)
#define ERR_ALL_REFERRALS_FAILED (-626)
#define ERR_SYSTEM_FAILURE (-632)
#define ERR_NO_REFERRALS (-634)
#define ERR_UNREACHABLE_SERVER (-636)
#define ERR_INVALID_REQUEST (-641)
#define ERR_INVALID_ITERATION (-642)
#define ERR_INSUFFICIENT_BUFFER (-649)
#define ERR_ENTRY_NOT_CONTAINER (-668)
#define ERR_FAILED_AUTHENTICATION (-669)
#define ERR_INVALID_CONTEXT (-670)
#define ERR_NO_SUCH_PARENT (-671)
#define ERR_NO_ACCESS (-672)
#define ERR_INVALID_CONN_HANDLE (-676)
#define ERR_INVALID_IDENTITY (-677)
#define ERR_PASSWORD_EXPIRED (-223)
#define ERR_FATAL (-699)

/* ---- records --------------------------------------------------------- */

/* Locale record filled by NWLlocaleconv (132 bytes). */
typedef struct {
  char decimal_point[4];
  char thousands_sep[4];
  char grouping[4];
  char currency_symbol[4];
  char mon_decimal_point[4];
  char mon_thousands_sep[4];
  char mon_grouping[4];
  char positive_sign[4];
  char negative_sign[4];
  char int_curr_symbol[4];
  char int_frac_digits;
  char frac_digits;
  char p_cs_precedes;
  char p_sep_by_space;
  char n_cs_precedes;
  char n_sep_by_space;
  char p_sign_posn;
  char n_sign_posn;
  nint32 date_format;
  nint32 time_format;
  nint32 code_page;   /* byte 56 */
  nint32 country_id;  /* byte 60 */
  char data_list_separator[4];
  char date_separator[4];
  char time_separator[4];
  char am_text[8];
  char pm_text[8];
  char reserved[40];
} LCONV;

/* Object information of a listed object (80 bytes). */
typedef struct {
  nuint32 objectFlags;
  nuint32 subordinateCount;
  nuint32 modificationTime;
  char baseClass[68]; /* byte 12, zero-terminated */
} Object_Info_T;

/* Value records of the structured syntaxes. Texts they point at follow the
 * record in the same value block. */
typedef struct {
  nuint32 nameSpaceType;
  char *volumeName;
  char *path;
} Path_T;

typedef struct {
  nuint32 type;
  char *address;
} EMail_Address_T;

typedef struct {
  char *objectName;
  nuint32 level;
  nuint32 interval;
} Typed_Name_T;

/* Connection information, version 1 (136 bytes). */
typedef struct {
  nuint32 authenticationState;
  nuint32 broadcastState;
  nuint32 connRef;
  char treeName[NW_MAX_TREE_NAME_LEN];
  nuint8 reserved1[3];
  nuint32 connNum;                          /* byte 48 */
  nuint32 userID;                           /* byte 52 */
  char serverName[NW_MAX_SERVER_NAME_LEN];  /* byte 56 */
  nuint8 reserved2[3];
  nuint32 NCPReqVersion;
  nuint32 maxPacketSize;
  nuint32 connState;
  nuint32 connFlags;
  nuint32 transportType;
  nuint32 securityState;
  nuint32 reserved3[1];
} NWCCConnInfo;

/* Directory entry of NWIntScanDirEntryInfo (132 bytes). */
typedef struct {
  nuint32 sequence;
  nuint32 parent;
  nuint32 attributes;
  nuint8 uniqueID;
  nuint8 flags;
  nuint8 nameSpace;
  nuint8 nameLength;   /* byte 15 */
  char name[100];      /* byte 16, zero-terminated when shorter */
  nuint32 creationDateAndTime;
  nuint32 ownerID;
  nuint32 updateDateAndTime;
  nuint32 dataForkSize;
} NWENTRY_INFO;

/* Server environment record of NWGetFileServerInfo (160 bytes). */
typedef struct {
  nuint32 currentServerTime;      /* byte 0 */
  nuint8 vconsoleVersion;
  nuint8 vconsoleRevision;
  nuint16 reserved0;
  nuint32 ncpStationsInUse;
  nuint32 ncpPeakStationsInUse;
  nuint32 numOfNCPRequests;
  nuint32 serverUtilization;
  nuint8 processorType;           /* byte 24 */
  nuint8 reserved1[3];
  nuint32 reserved2[28];
  nuint32 totalServerMemory;      /* byte 140 */
  nuint32 nlmsLoaded;             /* byte 144 */
  nuint32 reserved3[3];
} NWFSE_SERVER_INFO;

/* Queue job list reply of NWGetQueueJobList2. */
typedef struct {
  nuint32 totalQueueJobs;
  nuint32 replyQueueJobNumbers;
  nuint32 jobNumberList[NW_MAX_QUEUE_JOBS];
} QueueJobListReply;

/* Queue job record of NWReadQueueJobEntry2 (272 bytes). */
typedef struct {
  nuint32 clientStation;          /* byte 0 */
  nuint32 clientTask;
  nuint32 clientID;               /* byte 8 */
  nuint32 targetServerID;
  nuint8 targetExecTime[6];
  nuint8 jobEntryTime[6];
  nuint32 jobNumber;              /* byte 28 */
  nuint16 jobType;
  nuint16 jobPosition;
  nuint16 jobControlFlags;        /* byte 36 */
  char jobFileName[14];
  nuint32 jobFileHandle;
  nuint32 servicingServerStation;
  nuint32 servicingServerTask;
  nuint32 servicingServerID;      /* byte 64 */
  char jobDescription[50];        /* byte 68 */
  nuint8 clientRecordArea[152];
  nuint8 reserved[2];
} NWQueueJobStruct;

/* ---- entry points ------------------------------------------------------ */

#include "nwclient_entries.h"

/* Function-pointer types through which the program calls the client. */
#define NWC_DECLARE_PFN(ret, name, params, args) typedef ret(NWAPI *PFN_##name) params;
NWC_ALL_ENTRIES(NWC_DECLARE_PFN)
#undef NWC_DECLARE_PFN

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(LCONV) == 132, "locale record is 132 bytes");
static_assert(offsetof(LCONV, code_page) == 56, "code page at byte 56");
static_assert(offsetof(LCONV, country_id) == 60, "country at byte 60");
static_assert(sizeof(Object_Info_T) == 80, "object information is 80 bytes");
static_assert(offsetof(Object_Info_T, baseClass) == 12, "base class at byte 12");
static_assert(sizeof(NWCCConnInfo) == 136, "connection information is 136 bytes");
static_assert(offsetof(NWCCConnInfo, connNum) == 48, "connection number at byte 48");
static_assert(offsetof(NWCCConnInfo, serverName) == 56, "server name at byte 56");
static_assert(sizeof(NWENTRY_INFO) == 132, "directory entry is 132 bytes");
static_assert(offsetof(NWENTRY_INFO, nameLength) == 15, "name length at byte 15");
static_assert(offsetof(NWENTRY_INFO, name) == 16, "name at byte 16");
static_assert(offsetof(NWFSE_SERVER_INFO, processorType) == 24, "environment byte 24");
static_assert(offsetof(NWFSE_SERVER_INFO, totalServerMemory) == 140, "environment word 140");
static_assert(offsetof(NWFSE_SERVER_INFO, nlmsLoaded) == 144, "environment word 144");
static_assert(sizeof(NWQueueJobStruct) == 272, "queue job record is 272 bytes");
static_assert(offsetof(NWQueueJobStruct, clientID) == 8, "client ID at byte 8");
static_assert(offsetof(NWQueueJobStruct, jobNumber) == 28, "job number at byte 28");
static_assert(offsetof(NWQueueJobStruct, jobControlFlags) == 36, "control flags at byte 36");
static_assert(offsetof(NWQueueJobStruct, servicingServerID) == 64, "servicing server at byte 64");
static_assert(offsetof(NWQueueJobStruct, jobDescription) == 68, "description at byte 68");
static_assert(offsetof(QueueJobListReply, jobNumberList) == 8, "job numbers from byte 8");
#endif

#endif /* NWCLIENT_H */
