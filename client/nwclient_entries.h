/*
 * The client's entry points, per library, as X-macro tables:
 *     X(return type, name, (parameters), (argument names))
 * Included by nwclient.h, after the types the tables name.
 */
#ifndef NWCLIENT_ENTRIES_H
#define NWCLIENT_ENTRIES_H

/* LOCWIN32: locale and Unicode tables. */
#define NWC_LOCWIN32_ENTRIES(X)                                              \
  X(LCONV *, NWLlocaleconv, (LCONV * lconvPtr), (lconvPtr))                  \
  X(nint, NWInitUnicodeTables, (nint countryCode, nint codePage),            \
    (countryCode, codePage))                                                 \
  X(nint, NWFreeUnicodeTables, (void), ())

/* NETWIN32: directory services. */
#define NWC_NETWIN32_ENTRIES(X)                                              \
  X(NWDSContextHandle, NWDSCreateContext, (void), ())                        \
  X(NWDSCCODE, NWDSFreeContext, (NWDSContextHandle context), (context))      \
  X(NWDSCCODE, NWDSSetContext,                                               \
    (NWDSContextHandle context, nint key, nptr value), (context, key, value))\
  X(NWDSCCODE, NWDSGetContext,                                               \
    (NWDSContextHandle context, nint key, nptr value), (context, key, value))\
  X(NWDSContextHandle, NWDSDuplicateContext, (NWDSContextHandle oldContext), \
    (oldContext))                                                            \
  X(NWDSCCODE, NWDSDuplicateContextHandle,                                   \
    (NWDSContextHandle srcContext, NWDSContextHandle * destContext),         \
    (srcContext, destContext))                                               \
  X(NWDSCCODE, NWDSAllocBuf, (size_t size, pBuf_T * buf), (size, buf))       \
  X(NWDSCCODE, NWDSInitBuf,                                                  \
    (NWDSContextHandle context, nuint32 operation, pBuf_T buf),              \
    (context, operation, buf))                                               \
  X(NWDSCCODE, NWDSFreeBuf, (pBuf_T buf), (buf))                             \
  X(NWDSCCODE, NWDSPutAttrName,                                              \
    (NWDSContextHandle context, pBuf_T buf, const char *attrName),           \
    (context, buf, attrName))                                                \
  X(NWDSCCODE, NWDSPutAttrVal,                                               \
    (NWDSContextHandle context, pBuf_T buf, nuint32 syntaxID, nptr attrVal), \
    (context, buf, syntaxID, attrVal))                                       \
  X(NWDSCCODE, NWDSGetAttrName,                                              \
    (NWDSContextHandle context, pBuf_T buf, char *attrName,                  \
     nuint32 *attrValCount, nuint32 *syntaxID),                              \
    (context, buf, attrName, attrValCount, syntaxID))                        \
  X(NWDSCCODE, NWDSGetAttrVal,                                               \
    (NWDSContextHandle context, pBuf_T buf, nuint32 syntaxID, nptr attrVal), \
    (context, buf, syntaxID, attrVal))                                       \
  X(NWDSCCODE, NWDSGetAttrCount,                                             \
    (NWDSContextHandle context, pBuf_T buf, nuint32 * attrCount),            \
    (context, buf, attrCount))                                               \
  X(NWDSCCODE, NWDSPutChange,                                                \
    (NWDSContextHandle context, pBuf_T buf, nint changeType,                 \
     const char *attrName),                                                  \
    (context, buf, changeType, attrName))                                    \
  X(NWDSCCODE, NWDSModifyObject,                                             \
    (NWDSContextHandle context, const char *objectName,                      \
     nint32 *iterationHandle, nuint8 more, pBuf_T changes),                  \
    (context, objectName, iterationHandle, more, changes))                   \
  X(NWDSCCODE, NWDSComputeAttrValSize,                                       \
    (NWDSContextHandle context, pBuf_T buf, nuint32 syntaxID,                \
     nuint32 *attrValSize),                                                  \
    (context, buf, syntaxID, attrValSize))                                   \
  X(NWDSCCODE, NWDSRead,                                                     \
    (NWDSContextHandle context, const char *object, nuint32 infoType,        \
     nuint8 allAttrs, pBuf_T attrNames, nint32 *iterationHandle,             \
     pBuf_T objectInfo),                                                     \
    (context, object, infoType, allAttrs, attrNames, iterationHandle,        \
     objectInfo))                                                            \
  X(NWDSCCODE, NWDSRemoveObject,                                             \
    (NWDSContextHandle context, const char *object), (context, object))      \
  X(NWDSCCODE, NWDSGenerateObjectKeyPair,                                    \
    (NWDSContextHandle context, const char *objectName,                      \
     const char *objectPassword, nflag32 optionsFlag),                       \
    (context, objectName, objectPassword, optionsFlag))                      \
  X(NWDSCCODE, NWDSChangeObjectPassword,                                     \
    (NWDSContextHandle context, nflag32 optionsFlag, const char *objectName, \
     const char *oldPassword, const char *newPassword),                      \
    (context, optionsFlag, objectName, oldPassword, newPassword))            \
  X(NWDSCCODE, NWDSGetObjectName,                                            \
    (NWDSContextHandle context, pBuf_T buf, char *objectName,                \
     nuint32 *attrCount, Object_Info_T *objectInfo),                         \
    (context, buf, objectName, attrCount, objectInfo))                       \
  X(NWDSCCODE, NWDSGetObjectCount,                                           \
    (NWDSContextHandle context, pBuf_T buf, nuint32 * objectCount),          \
    (context, buf, objectCount))                                             \
  X(NWDSCCODE, NWDSAddObject,                                                \
    (NWDSContextHandle context, const char *objectName,                      \
     nint32 *iterationHandle, nuint8 more, pBuf_T objectInfo),               \
    (context, objectName, iterationHandle, more, objectInfo))                \
  X(NWDSCCODE, NWDSList,                                                     \
    (NWDSContextHandle context, const char *object, nint32 *iterationHandle, \
     pBuf_T subordinates),                                                   \
    (context, object, iterationHandle, subordinates))                        \
  X(NWDSCCODE, NWDSOpenStream,                                               \
    (NWDSContextHandle context, const char *objectName,                      \
     const char *attrName, nflag32 flags, NWFILE_HANDLE *fileHandle),        \
    (context, objectName, attrName, flags, fileHandle))                      \
  X(NWDSCCODE, NWDSCanonicalizeName,                                         \
    (NWDSContextHandle context, const char *objectName, char *canonName),    \
    (context, objectName, canonName))                                        \
  X(NWDSCCODE, NWDSRemoveAllTypes,                                           \
    (NWDSContextHandle context, const char *name, char *strippedName),       \
    (context, name, strippedName))                                           \
  X(NWDSCCODE, NWDSWhoAmI, (NWDSContextHandle context, char *objectName),    \
    (context, objectName))                                                   \
  X(NWDSCCODE, NWDSMapNameToID,                                              \
    (NWDSContextHandle context, NWCONN_HANDLE conn, const char *objectName,  \
     nuint32 *objectID),                                                     \
    (context, conn, objectName, objectID))                                   \
  X(NWDSCCODE, NWDSMapIDToName,                                              \
    (NWDSContextHandle context, NWCONN_HANDLE conn, nuint32 objectID,        \
     char *objectName),                                                      \
    (context, conn, objectID, objectName))                                   \
  X(NWDSCCODE, NWDSAuditGetObjectID,                                         \
    (NWDSContextHandle context, const char *objectName,                      \
     NWCONN_HANDLE *conn, nuint32 *objectID),                                \
    (context, objectName, conn, objectID))                                   \
  X(NWDSCCODE, NWDSResolveName,                                              \
    (NWDSContextHandle context, const char *objectName,                      \
     NWCONN_HANDLE *conn, nuint32 *objectID),                                \
    (context, objectName, conn, objectID))                                   \
  X(NWDSCCODE, NWDSAuthenticateConn,                                         \
    (NWDSContextHandle context, NWCONN_HANDLE conn), (context, conn))        \
  X(NWDSCCODE, NWDSAuthenticate,                                             \
    (NWCONN_HANDLE conn, nflag32 optionsFlag, nptr sessionKey),              \
    (conn, optionsFlag, sessionKey))                                         \
  X(nuint16, NWIsDSServer, (NWCONN_HANDLE conn, char *treeName),             \
    (conn, treeName))                                                        \
  X(NWDSCCODE, NWGetPreferredDSServer, (NWCONN_HANDLE * conn), (conn))       \
  X(NWDSCCODE, NWSetPreferredDSTree, (nuint16 length, const char *treeName), \
    (length, treeName))

/* CALWIN32: NetWare calls. */
#define NWC_CALWIN32_ENTRIES(X)                                              \
  X(NWCCODE, NWCallsInit, (nptr reserved1, nptr reserved2),                  \
    (reserved1, reserved2))                                                  \
  X(NWCCODE, NWGetPrimaryConnectionID, (NWCONN_HANDLE * conn), (conn))       \
  X(NWCCODE, NWSetPrimaryConnectionID, (NWCONN_HANDLE conn), (conn))         \
  X(NWCCODE, NWGetConnectionNumber,                                          \
    (NWCONN_HANDLE conn, NWCONN_NUM * connNumber), (conn, connNumber))       \
  X(NWCCODE, NWGetConnectionInformation,                                     \
    (NWCONN_HANDLE conn, NWCONN_NUM connNumber, char *objectName,            \
     nuint16 *objectType, nuint32 *objectID, nuint8 *loginTime),             \
    (conn, connNumber, objectName, objectType, objectID, loginTime))         \
  X(NWCCODE, NWGetFileServerName, (NWCONN_HANDLE conn, char *serverName),    \
    (conn, serverName))                                                      \
  X(NWCCODE, NWGetConnectionList,                                            \
    (nuint16 mode, NWCONN_HANDLE * connListBuffer, nuint16 connListSize,     \
     nuint16 * numConns),                                                    \
    (mode, connListBuffer, connListSize, numConns))                          \
  X(NWCCODE, NWGetConnectionHandle,                                          \
    (const char *serverName, nuint16 reserved1, NWCONN_HANDLE *conn,         \
     nuint16 *reserved2),                                                    \
    (serverName, reserved1, conn, reserved2))                                \
  X(NWCCODE, NWGetFileServerDateAndTime,                                     \
    (NWCONN_HANDLE conn, nuint8 * dateTimeBuffer), (conn, dateTimeBuffer))   \
  X(NWCCODE, NWSetFileServerDateAndTime,                                     \
    (NWCONN_HANDLE conn, nuint8 year, nuint8 month, nuint8 day, nuint8 hour, \
     nuint8 minute, nuint8 second),                                          \
    (conn, year, month, day, hour, minute, second))                          \
  X(NWCCODE, NWGetMaximumConnections, (nuint16 * maxConns), (maxConns))      \
  X(NWCCODE, NWCheckConsolePrivileges, (NWCONN_HANDLE conn), (conn))         \
  X(NWCCODE, NWIsManager, (NWCONN_HANDLE conn), (conn))                      \
  X(NWCCODE, NWGetFileServerInformation,                                     \
    (NWCONN_HANDLE conn, char *serverName, nuint8 *majorVer,                 \
     nuint8 *minorVer, nuint8 *revision, nuint16 *maxConns,                  \
     nuint16 *maxConnsUsed, nuint16 *connsInUse, nuint16 *numVolumes,        \
     nuint8 *SFTLevel, nuint8 *TTSLevel),                                    \
    (conn, serverName, majorVer, minorVer, revision, maxConns, maxConnsUsed, \
     connsInUse, numVolumes, SFTLevel, TTSLevel))                            \
  X(NWCCODE, NWGetFileServerInfo,                                            \
    (NWCONN_HANDLE conn, NWFSE_SERVER_INFO * serverInfo), (conn, serverInfo))\
  X(NWCCODE, NWSetBroadcastMode, (NWCONN_HANDLE conn, nuint16 mode),         \
    (conn, mode))                                                            \
  X(NWCCODE, NWGetObjectConnectionNumbers,                                   \
    (NWCONN_HANDLE conn, const char *objectName, nuint16 objectType,         \
     nuint16 *numConns, NWCONN_NUM *connList, nuint16 maxConns),             \
    (conn, objectName, objectType, numConns, connList, maxConns))            \
  X(NWCCODE, NWGetConnListFromObject,                                        \
    (NWCONN_HANDLE conn, nuint32 objectID, nuint32 searchConnNum,            \
     nuint16 *connListLen, NWCONN_NUM *connList),                            \
    (conn, objectID, searchConnNum, connListLen, connList))                  \
  X(NWCCODE, NWSendBroadcastMessage,                                         \
    (NWCONN_HANDLE conn, const char *message, nuint16 connCount,             \
     const NWCONN_NUM *connList, nuint16 *resultList),                       \
    (conn, message, connCount, connList, resultList))                        \
  X(NWCCODE, NWGetObjectID,                                                  \
    (NWCONN_HANDLE conn, const char *objectName, nuint16 objectType,         \
     nuint32 *objectID),                                                     \
    (conn, objectName, objectType, objectID))                                \
  X(nuint32, NWLongSwap, (nuint32 value), (value))                           \
  X(NWCCODE, NWGetObjectName,                                                \
    (NWCONN_HANDLE conn, nuint32 objectID, char *objectName,                 \
     nuint16 *objectType),                                                   \
    (conn, objectID, objectName, objectType))                                \
  X(NWCCODE, NWScanObject,                                                   \
    (NWCONN_HANDLE conn, const char *searchName, nuint16 searchType,         \
     nuint32 *objectID, char *objectName, nuint16 *objectType,               \
     nuint8 *hasPropertiesFlag, nuint8 *objectFlags, nuint8 *objectSecurity),\
    (conn, searchName, searchType, objectID, objectName, objectType,         \
     hasPropertiesFlag, objectFlags, objectSecurity))                        \
  X(NWCCODE, NWReadPropertyValue,                                            \
    (NWCONN_HANDLE conn, const char *objectName, nuint16 objectType,         \
     const char *propertyName, nuint8 segmentNumber, nuint8 *segmentData,    \
     nuint8 *moreSegments, nuint8 *flags),                                   \
    (conn, objectName, objectType, propertyName, segmentNumber, segmentData, \
     moreSegments, flags))                                                   \
  X(NWCCODE, NWParseNetWarePath,                                             \
    (const char *path, NWCONN_HANDLE *conn, NWDIR_HANDLE *dirHandle,         \
     char *newPath),                                                         \
    (path, conn, dirHandle, newPath))                                        \
  X(NWCCODE, NWParsePath,                                                    \
    (const char *path, char *serverName, NWCONN_HANDLE *conn,                \
     char *volumeName, char *dirPath),                                       \
    (path, serverName, conn, volumeName, dirPath))                           \
  X(NWCCODE, NWSetDriveBase,                                                 \
    (nuint16 driveNumber, NWCONN_HANDLE conn, NWDIR_HANDLE dirHandle,        \
     const char *dirPath, nuint16 driveScope),                               \
    (driveNumber, conn, dirHandle, dirPath, driveScope))                     \
  X(NWCCODE, NWDeleteDriveBase, (nuint16 driveNumber, nuint16 driveScope),   \
    (driveNumber, driveScope))                                               \
  X(NWCCODE, NWGetFirstDrive, (nuint16 * firstDrive), (firstDrive))          \
  X(NWCCODE, NWGetDriveStatus,                                               \
    (nuint16 driveNumber, nuint16 pathFormat, nuint16 *status,               \
     NWCONN_HANDLE *conn, char *rootPath, char *relativePath,                \
     char *fullPath),                                                        \
    (driveNumber, pathFormat, status, conn, rootPath, relativePath,          \
     fullPath))                                                              \
  X(NWCCODE, NWSetNetWareErrorMode, (nuint8 errorMode, nuint8 * prevMode),   \
    (errorMode, prevMode))                                                   \
  X(NWCCODE, NWAllocTemporaryDirectoryHandle,                                \
    (NWCONN_HANDLE conn, NWDIR_HANDLE dirHandle, const char *dirPath,        \
     NWDIR_HANDLE *newDirHandle, nuint8 *rightsMask),                        \
    (conn, dirHandle, dirPath, newDirHandle, rightsMask))                    \
  X(NWCCODE, NWIntScanDirEntryInfo,                                          \
    (NWCONN_HANDLE conn, NWDIR_HANDLE dirHandle, nuint16 searchAttrs,        \
     nuint32 *iterHandle, const char *searchPattern,                         \
     NWENTRY_INFO *entryInfo, nuint8 augmentFlag),                           \
    (conn, dirHandle, searchAttrs, iterHandle, searchPattern, entryInfo,     \
     augmentFlag))                                                           \
  X(NWCCODE, NWGetQueueJobList2,                                             \
    (NWCONN_HANDLE conn, nuint32 queueID, nuint32 queueStartPos,             \
     QueueJobListReply *job),                                                \
    (conn, queueID, queueStartPos, job))                                     \
  X(NWCCODE, NWReadQueueJobEntry2,                                           \
    (NWCONN_HANDLE conn, nuint32 queueID, nuint32 jobNumber,                 \
     NWQueueJobStruct *job),                                                 \
    (conn, queueID, jobNumber, job))

/* CLXWIN32: connection references. */
#define NWC_CLXWIN32_ENTRIES(X)                                              \
  X(NWCCODE, NWCCGetPrimConnRef, (NWCCConnRef * connRef), (connRef))         \
  X(NWCCODE, NWCCOpenConnByRef,                                              \
    (NWCCConnRef connRef, nuint32 openState, nuint32 reserved,               \
     NWCONN_HANDLE *conn),                                                   \
    (connRef, openState, reserved, conn))                                    \
  X(NWCCODE, NWCCOpenConnByName,                                             \
    (NWCONN_HANDLE startConn, const char *name, nuint32 nameFormat,          \
     nuint32 openState, nuint32 tranType, NWCONN_HANDLE *conn),              \
    (startConn, name, nameFormat, openState, tranType, conn))                \
  X(NWCCODE, NWCCGetConnInfo,                                                \
    (NWCONN_HANDLE conn, nuint32 infoType, nuint32 len, nptr buffer),        \
    (conn, infoType, len, buffer))                                           \
  X(NWCCODE, NWCCScanConnRefs, (nuint32 * scanIterator, NWCCConnRef * connRef),\
    (scanIterator, connRef))                                                 \
  X(NWCCODE, NWCCGetAllConnRefInfo,                                          \
    (NWCCConnRef connRef, nuint32 infoVersion, NWCCConnInfo * connInfo),     \
    (connRef, infoVersion, connInfo))                                        \
  X(NWCCODE, NWCCSetPrefServerName, (const char *prefServer), (prefServer))

/* Every entry point of the client, in one table. */
#define NWC_ALL_ENTRIES(X)                                                   \
  NWC_LOCWIN32_ENTRIES(X)                                                    \
  NWC_NETWIN32_ENTRIES(X)                                                    \
  NWC_CALWIN32_ENTRIES(X)                                                    \
  NWC_CLXWIN32_ENTRIES(X)

#endif /* NWCLIENT_ENTRIES_H */
