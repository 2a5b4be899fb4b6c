/*
 * varelum_engine.h: the C interface of the Varelum store engine (libvarelum-engine.so).
 *
 * The engine keeps tables in files on the local machine and lets several handles, threads and
 * processes share them. Everything it offers is a plain exported function named Ads...; this
 * header is its reference manual. It is valid C and C++.
 *
 * Conventions that hold for every function below:
 *  - Every function returns an UNSIGNED32 result code: VE_SUCCESS (0) or an error code from the
 *    table at the end of this header. A failing call also records the code and an English text
 *    as the calling thread's last error (AdsGetLastError); a successful call clears it. The
 *    error functions themselves leave the last error alone. No call ever throws or aborts.
 *  - Handles (ADSHANDLE) are opaque 32-bit values for connections, tables, indexes, SQL
 *    statements and SQL cursors. A handle that was never issued answers VE_INVALID_HANDLE, one
 *    that was closed VE_CLOSED_HANDLE, one of another kind VE_WRONG_HANDLE_KIND.
 *  - "8-bit text" is Windows-1252, zero-terminated, unless a length is passed with it. Functions
 *    ending in W take and give UTF-16 (WCHAR). Names (fields, paths) compare case-insensitively.
 *  - Output buffers come with an in/out length: capacity in, length written out (without the
 *    terminating zero). Text is always zero-terminated, so a text of n characters needs a
 *    capacity of n + 1. When the value does not fit, as much as fits is written (terminated),
 *    the length is set to the length the whole value needs, and the call answers
 *    VE_BUFFER_TOO_SMALL (5005). Buffers always belong to the caller; the engine keeps no
 *    pointer to any of them after the call returns.
 *  - Yes/no answers are UNSIGNED16: 1 yes, 0 no.
 *  - A field argument (pucFldName) is either an 8-bit field name or a 1-based field number
 *    passed as a pointer value below 65536; ADSFIELD(n) builds one.
 *  - A table handle sits on one record, or on one of two cracks: before the first record (BOF)
 *    or after the last (EOF). On an empty table both flags are set. Reading a value while on a
 *    crack answers VE_NO_CURRENT_RECORD (5068).
 *  - Field changes collect in the handle's record buffer until AdsWriteRecord; moving the
 *    handle, unlocking the record or closing the table writes them first. Every write is one
 *    atomic, durable transaction of the table file.
 *  - Dates: a Julian day number (day number + 1721425, where day 1 is 0001-01-01; 2415019 is
 *    1899-12-30); times: milliseconds since midnight. Dates in text form follow the engine's
 *    date format (AdsSetDateFormat; per connection AdsSetDateFormat60), "MM/DD/CCYY" at start;
 *    a year given with one or two digits falls into 1900..1999, so give four digits for other
 *    centuries. Field calls, expressions (CTOD, DTOC), index keys and SQL parameters read a date
 *    text alike.
 *  - Texts of a table created with the OEM character type are kept in code page 850. The
 *    engine converts at its boundary: 8-bit texts given or answered (values, filters, locate
 *    and evaluated expressions, seek keys) are Windows-1252, W texts UTF-16; expressions, keys
 *    and comparisons on the table work in its own code page, so every character it holds is
 *    found again.
 *
 * Functions the data-access components call that this engine does not export yet (a call
 * through the components raises "External exception C0FB007F" until it does):
 * AdsAccessVfpSystemField.
 */
#ifndef VARELUM_ENGINE_H
#define VARELUM_ENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Integer types of the interface ----------------------------------------------------- */

typedef uint8_t UNSIGNED8;
typedef uint16_t UNSIGNED16;
typedef uint32_t UNSIGNED32;
typedef uint64_t UNSIGNED64;
typedef int8_t SIGNED8;
typedef int16_t SIGNED16;
typedef int32_t SIGNED32;
typedef int64_t SIGNED64;
typedef UNSIGNED32 ADSHANDLE;
#ifdef __cplusplus
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif

#if defined(VARELUM_ENGINE_BUILD)
#define VE_API __attribute__((visibility("default")))
#else
#define VE_API
#endif

/* A field argument by number: ADSFIELD(3) is the third field. */
#define ADSFIELD(n) ((const UNSIGNED8*)(uintptr_t)(n))
/* Field arguments below this pointer value are field numbers. */
#define VE_MAX_FIELD_NUMBER 65535u

/* ---- Option values -------------------------------------------------------------------- */

/* Table types. Only ADT tables (and 0, "the default", which means ADT) are served. */
#define VE_TABLE_TYPE_DEFAULT 0
#define VE_TABLE_TYPE_NTX 1
#define VE_TABLE_TYPE_CDX 2
#define VE_TABLE_TYPE_ADT 3
#define VE_TABLE_TYPE_VFP 4

/* Character types: 1 ANSI (Windows-1252 record text), 2 OEM (code page 850 record text);
 * 3 to 118 name collations, whose tables keep ANSI text. */
#define VE_CHARTYPE_ANSI 1
#define VE_CHARTYPE_OEM 2
#define VE_CHARTYPE_LAST 118

/* Lock types (accepted and remembered; locking works the same either way). */
#define VE_LOCK_COMPATIBLE 0
#define VE_LOCK_PROPRIETARY 1

/* Rights checking (accepted; free tables have no rights to check). */
#define VE_RIGHTS_CHECK 1
#define VE_RIGHTS_IGNORE 2

/* Table open options (bits), as passed to AdsOpenTable90 and answered by
 * AdsGetTableOpenOptions. */
#define VE_OPEN_EXCLUSIVE 0x00000001u
#define VE_OPEN_READONLY 0x00000002u
#define VE_OPEN_REINDEX_ON_COLLATION_MISMATCH 0x00000100u
#define VE_OPEN_IGNORE_COLLATION_MISMATCH 0x00000200u
#define VE_OPEN_CACHE_READS 0x20000000u
#define VE_OPEN_CACHE_WRITES 0x40000000u
/* Where AdsCreateTable90 puts a new table made on a data dictionary connection: into the
 * dictionary (the default there) or beside it as a free table. */
#define VE_CREATE_FREE_TABLE 0x00001000u
#define VE_CREATE_DICTIONARY_TABLE 0x00004000u
/* Rights that AdsGetTableOpenOptions adds to the open options: a handle not opened read-only
 * may update and insert records. */
#define VE_TABLE_RIGHT_UPDATE 0x00000020u
#define VE_TABLE_RIGHT_INSERT 0x00000040u

/* Column permissions (AdsGetColumnPermissions, bits). */
#define VE_COLUMN_READ 1
#define VE_COLUMN_UPDATE 2
#define VE_COLUMN_INSERT 4

/* Filter options of record counts and record numbers. VE_REFRESH_COUNT may be added. */
#define VE_RESPECT_FILTERS 1
#define VE_IGNORE_FILTERS 2
#define VE_RESPECT_SCOPES 3
#define VE_REFRESH_COUNT 4

/* Trim options of the text getters and of AdsGetDataLength. */
#define VE_TRIM_NONE 0
#define VE_TRIM_LEFT 1
#define VE_TRIM_RIGHT 2
#define VE_TRIM_BOTH 3

/* File name options of AdsGetTableFilename. */
#define VE_NAME_BASE 1
#define VE_NAME_BASE_AND_EXTENSION 2
#define VE_NAME_FULL_PATH 3

/* Server types (mask bits) and connection types. This engine is the local server. */
#define VE_SERVER_LOCAL 1
#define VE_SERVER_REMOTE 2
#define VE_SERVER_INTERNET 4

/* Handle types answered by AdsGetHandleType. */
#define VE_HANDLE_CONNECTION 1
#define VE_HANDLE_TABLE 2
#define VE_HANDLE_INDEX 3
#define VE_HANDLE_STATEMENT 4
#define VE_HANDLE_CURSOR 5
#define VE_HANDLE_TABLE_SEARCH 6 /* AdsFindFirstTable's enumeration */

/* Binary types of AdsSetBinary, and memo data types of AdsGetMemoDataType. */
#define VE_MEMO_TEXT 5
#define VE_BINARY_BINARY 6
#define VE_BINARY_IMAGE 7

/* Field types (AdsGetFieldType). Never renumbered: they are stored in table files. */
#define VE_FIELD_LOGICAL 1
#define VE_FIELD_NUMERIC 2
#define VE_FIELD_DATE 3
#define VE_FIELD_STRING 4
#define VE_FIELD_MEMO 5
#define VE_FIELD_BINARY 6
#define VE_FIELD_IMAGE 7
#define VE_FIELD_VARCHAR 8
#define VE_FIELD_COMPACTDATE 9
#define VE_FIELD_DOUBLE 10
#define VE_FIELD_INTEGER 11
#define VE_FIELD_SHORTINT 12
#define VE_FIELD_TIME 13
#define VE_FIELD_TIMESTAMP 14
#define VE_FIELD_AUTOINC 15
#define VE_FIELD_RAW 16
#define VE_FIELD_CURDOUBLE 17
#define VE_FIELD_MONEY 18
#define VE_FIELD_CISTRING 20
#define VE_FIELD_ROWVERSION 21
#define VE_FIELD_MODTIME 22
#define VE_FIELD_VARCHAR_FOX 23
#define VE_FIELD_VARBINARY_FOX 24
#define VE_FIELD_NCHAR 26
#define VE_FIELD_NVARCHAR 27
#define VE_FIELD_NMEMO 28

/* Options of AdsCheckTable. */
#define VE_CHECK_STRUCTURE 0 /* header, fields, counters and every record image */
#define VE_CHECK_MEMOS 1     /* also every memo and blob value */

/* Index options of AdsCreateIndex90 (bits), answered by AdsGetIndexFlags. */
#define VE_INDEX_UNIQUE 0x0001     /* refuses a second record with the same key */
#define VE_INDEX_COMPOUND 0x0002   /* a tag of a compound file (every tag here is one) */
#define VE_INDEX_CUSTOM 0x0004     /* keys only by AdsAddCustomKey; edits move them */
#define VE_INDEX_DESCENDING 0x0008 /* keys in falling order */
#define VE_INDEX_CANDIDATE 0x0800  /* unique, as a candidate key */

/* Key and expression types (AdsGetKeyType, AdsEvalTestExpr). */
#define VE_EXPR_LOGICAL 1
#define VE_EXPR_NUMERIC 2
#define VE_EXPR_DATE 3
#define VE_EXPR_STRING 4
#define VE_EXPR_TIMESTAMP 14
#define VE_EXPR_RAW 16 /* a key of several segments */

/* Kinds of key given to seeks and scopes. */
#define VE_RAWKEY 1     /* raw key bytes (AdsBuildRawKey), whole or a leading part */
#define VE_STRINGKEY 2  /* 8-bit text of the key's value(s); a shorter text is a partial key */
#define VE_DOUBLEKEY 4  /* an 8-byte double, for numeric keys */
#define VE_WSTRINGKEY 8 /* UTF-16 text as VE_STRINGKEY; its length in bytes */
/* A key length meaning "up to the terminating zero". */
#define VE_KEY_ZERO_TERMINATED 0xFFFFu

/* Seek types. */
#define VE_SOFTSEEK 1 /* the first key at or after the key; found = it begins with the key */
#define VE_HARDSEEK 2 /* the first key that begins with the key, else EOF */
#define VE_SEEKGT 4   /* the first key after every key that begins with the key */

/* Scope bounds. */
#define VE_TOP 1
#define VE_BOTTOM 2

/* Options of AdsBuildRawKey100. */
#define VE_KEY_PARTIAL 0      /* the segments set so far, the last text as given */
#define VE_KEY_WHOLE 1        /* every segment, those not set as empty */
#define VE_KEY_WIDE_PARTIAL 4 /* as VE_KEY_PARTIAL (for keys filled by AdsSetFieldW) */

/* Optimised filter (AOF) options of AdsSetAOF100 (bits); filter texts in UTF-16 add
 * VE_FILTER_UTF16, for AdsSetFilter100 too. */
#define VE_AOF_DYNAMIC 0x0000       /* shows what the condition selects now */
#define VE_AOF_RESOLVE_NOW 0x0001   /* resolve the record set when set */
#define VE_AOF_RESOLVE_LATER 0x0002 /* resolve it at first use */
#define VE_AOF_KEYSET 0x0004        /* the set fixed when resolved; non-matching members hidden */
#define VE_AOF_FIXED 0x0008         /* the set fixed when resolved; members always shown */
#define VE_FILTER_UTF16 0x2000      /* the filter text is UTF-16 (zero-terminated) */

/* Optimisation levels (AdsGetAOFOptLevel100, AdsEvalAOF). */
#define VE_OPTIMIZED_FULL 1 /* answered by indexes alone; no record is evaluated */
#define VE_OPTIMIZED_PART 2 /* indexes give candidates; a residual part is evaluated */
#define VE_OPTIMIZED_NONE 3 /* every record is evaluated */

/* Options of AdsCustomizeAOF. */
#define VE_AOF_ADD_RECORD 1
#define VE_AOF_REMOVE_RECORD 2
#define VE_AOF_TOGGLE_RECORD 3

/* ---- Result codes ----------------------------------------------------------------------- */
/* Codes below 6000 keep the meaning the data-access components give them; codes from 6000 on
 * are this engine's own. AdsGetErrorString gives the text of each. */

#define VE_SUCCESS 0u
#define VE_BUFFER_TOO_SMALL 5005u   /* the value did not fit; the length tells what it needs */
#define VE_INDEX_NOT_OPEN 5016u     /* the named index is not open (or does not exist) */
#define VE_NOT_APPLICABLE 5017u     /* the question does not apply (a table handle is no index) */
#define VE_RECORD_NOT_FOUND 5022u   /* no record with that number or bookmark; now at EOF */
#define VE_NO_CONNECTION 5023u      /* the object has no connection */
#define VE_NO_COLLATION 5025u       /* the table has no collation of its own */
#define VE_LOCK_REFUSED 5035u       /* the record or table is locked by another user */
#define VE_NO_FILTER 5037u          /* there is no filter */
#define VE_NO_SCOPE 5038u           /* there is no scope */
#define VE_NO_KEY_POSITION 5041u    /* a relative key position is not available */
#define VE_PERMISSION_DENIED 5054u  /* the right to do this is not granted */
#define VE_NO_MORE_TABLES 5059u     /* end of a table enumeration */
#define VE_RECORD_NOT_LOCKED 5062u  /* unlocking a record this connection does not lock */
#define VE_STATIC_VIEW 5064u        /* the cursor is a static view and cannot be updated */
#define VE_INDEX_ALREADY_OPEN 5065u /* the index is open already */
#define VE_NO_CURRENT_RECORD 5068u  /* the handle is on BOF or EOF */
#define VE_NOTHING_TO_CANCEL 5085u  /* no pending change or append to discard */
#define VE_TABLE_NOT_LOCKED 5087u   /* unlocking a table this connection does not lock */
#define VE_STATEMENT_GONE 5106u     /* the SQL statement handle is gone */
#define VE_NO_ROW_COUNT 5117u       /* the statement produced no rows-affected count */
#define VE_COMPONENT_ERROR 5121u    /* reserved for the components' own errors */
#define VE_DICTIONARY_ONLY                                                                         \
    5132u                           /* the data dictionary holds no such object, or the call needs \
                                       a data dictionary connection */
#define VE_DD_NO_MORE_OBJECTS 5137u /* end of a data dictionary object enumeration */
#define VE_DD_PROPERTY_NOT_SET 5138u /* the data dictionary property has no value */
#define VE_RECORD_CHANGED 5186u      /* reserved: the record was changed by another user */
#define VE_SQL_ERROR 7200u           /* an SQL error; the text carries "NativeError = n;" */

#define VE_NOT_IMPLEMENTED 6000u      /* this engine does not implement the function yet */
#define VE_INVALID_HANDLE 6001u       /* the handle was never issued by this engine */
#define VE_CLOSED_HANDLE 6002u        /* the handle was closed */
#define VE_WRONG_HANDLE_KIND 6003u    /* the handle is of another kind than the call needs */
#define VE_INVALID_ARGUMENT 6004u     /* a missing pointer or an option value out of range */
#define VE_INTERNAL_ERROR 6005u       /* an unexpected failure inside the engine */
#define VE_OUT_OF_MEMORY 6006u        /* memory ran out */
#define VE_PATH_NOT_FOUND 6010u       /* the connection's directory does not exist */
#define VE_SERVER_NOT_AVAILABLE 6011u /* the server-type mask excludes the local server */
#define VE_NOT_SUPPORTED 6012u        /* dictionaries, encryption, DBF table types, ... */
#define VE_INVALID_CONNECT_STRING \
    6013u                            /* the connection string is malformed or lacks a Data Source */
#define VE_INVALID_DATE_FORMAT 6014u /* the date format lacks day, month or year */
#define VE_TABLE_NOT_FOUND 6020u     /* no table file at that path */
#define VE_TABLE_IN_USE 6021u        /* opened exclusively elsewhere, or needed exclusively */
#define VE_TABLE_CORRUPT 6022u       /* the file is not a readable table (garbage, truncated) */
#define VE_TABLE_VERSION 6023u       /* the table was written by a newer engine */
#define VE_FILE_ERROR 6024u          /* the operating system refused a file operation */
#define VE_READ_ONLY 6025u           /* the handle was opened read-only */
#define VE_TABLE_FULL 6026u          /* the table file or its record numbers are exhausted */
#define VE_INVALID_FIELD_DEFINITION 6030u /* the field text of a new table is malformed */
#define VE_FIELD_NOT_FOUND 6031u          /* no field with that name or number */
#define VE_FIELD_TYPE_MISMATCH 6032u      /* the call does not apply to this field's type */
#define VE_VALUE_NOT_CONVERTIBLE 6033u    /* the value is no number, date or time of this field */
#define VE_VALUE_OUT_OF_RANGE 6034u       /* the value does not fit the field */
#define VE_FIELD_READ_ONLY 6035u          /* the engine assigns this field (AutoInc) */
#define VE_DATA_WOULD_BE_LOST                                                                    \
    6036u                          /* a restructure would lose a value; the text names the field \
                                      and the first record */
#define VE_NOT_EXCLUSIVE 6040u     /* the operation needs the table used by this handle only */
#define VE_NO_PENDING_APPEND 6041u /* reserved */
#define VE_INVALID_EXPRESSION \
    6050u /* the expression does not compile; the text gives the position */
#define VE_EXPRESSION_FAILED 6051u      /* evaluating failed (division by zero, text too long) */
#define VE_UNKNOWN_COLLATION 6052u      /* no collation of that name */
#define VE_INDEX_FILE_NOT_FOUND 6060u   /* no index file of that name belongs to the table */
#define VE_INDEX_EXISTS 6061u           /* the table has an index tag of that name already */
#define VE_KEY_TOO_LONG 6062u           /* the index key would take more than 480 bytes */
#define VE_DUPLICATE_KEY 6063u          /* a unique index has that key already; nothing changed */
#define VE_INVALID_KEY 6064u            /* a key, key text or key type that the index cannot take */
#define VE_TOO_MANY_INDEXES 6065u       /* the table file holds as many index tags as it can */
#define VE_OPERATION_CANCELLED 6080u    /* a progress or abort callback stopped the work */
#define VE_IN_TRANSACTION 6090u         /* begun inside a transaction, or work it cannot hold */
#define VE_NO_TRANSACTION 6091u         /* commit or rollback with no transaction active */
#define VE_UNKNOWN_SAVEPOINT 6092u      /* no savepoint of that name in the transaction */
#define VE_UNFINISHED_TRANSACTION 6093u /* a dead process's transaction cannot be undone here */

#define VE_LOGIN_FAILED 6094u        /* unknown user or wrong password (never said which) */
#define VE_BOUND_TO_DICTIONARY 6095u /* the table belongs to a data dictionary */
#define VE_NOT_A_DICTIONARY 6096u    /* the file is no data dictionary */
#define VE_DICTIONARY_EXISTS 6097u   /* a new dictionary's file exists already */
#define VE_DD_OBJECT_EXISTS 6098u    /* the dictionary holds an object of that name already */

/* ---- Errors ------------------------------------------------------------------------------ */

/* The calling thread's last error: *pulErrCode gets its code (0 when the last call succeeded);
 * pucBuf (capacity *pusBufLen) its text. A NULL buffer or a capacity of 0 asks for the code
 * only. Answers 0, or 5005 when the text was cut. */
VE_API UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);
/* The engine's English text for any code, into pucBuf (capacity *pusBufLen). */
VE_API UNSIGNED32 AdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen);
/* Makes (code, text) the calling thread's last error and answers the code itself, so that a
 * caller can route its own errors through the same path; code 0 clears the last error. */
VE_API UNSIGNED32 AdsSetLastError(UNSIGNED32 ulErrCode, const UNSIGNED8* pucDetails);
/* Writes "caption: code text" of the last error (or "caption" alone when there is none) to
 * standard error. */
VE_API UNSIGNED32 AdsShowError(const UNSIGNED8* pucTitle);
/* Frees the calling thread's error record; for threads that end. */
VE_API UNSIGNED32 AdsThreadExit(void);

/* ---- Connections and engine settings -------------------------------------------------- */

/* Connects to a directory of tables (8-bit path, "\" or "/" as separators, relative to the
 * working directory unless absolute), or to a data dictionary (a path ending in ".add"), which
 * needs a log-in and so AdsConnect101. Fails with VE_PATH_NOT_FOUND for a missing directory or
 * dictionary, VE_LOGIN_FAILED for a dictionary without a valid user and password,
 * VE_SERVER_NOT_AVAILABLE when the engine's server-type mask lacks VE_SERVER_LOCAL. */
VE_API UNSIGNED32 AdsConnect(const UNSIGNED8* pucServerName, ADSHANDLE* phConnect);
/* Connects with a connection string "Data Source=path;key=value;...". Keys (case-insensitive,
 * each at most once): Data Source (required), ServerType (LOCAL|REMOTE|INTERNET, overrides the
 * engine's mask for this connection), DateFormat (this connection's date format), TableType
 * (ADT, CDX, NTX, VFP: the default for opens with table type 0), SQLTimeout (seconds, for the
 * connection's statements), User ID and Password (the log-in of a data dictionary; the password is
 * checked, then kept only in guarded memory for links that log in as the connection's user,
 * and answered by no call), DDPassword (ignored). A value in double quotes may hold ";". The keys
 * of a remote transport (FIPS, EncryptionType, TLSCertificate, TLSCommonName, TLSCiphers, CommType,
 * Compression, IncrementUserCount, StoredProcedureConnection) and unknown keys are ignored.
 * VE_INVALID_CONNECT_STRING for a malformed string: a part without "=", an empty or repeated
 * key, an unterminated quoted value or text after its closing quote, a value a key above cannot
 * take, no Data Source. pOptions must be NULL (there are no connection options). */
VE_API UNSIGNED32 AdsConnect101(const UNSIGNED8* pucConnectString, const ADSHANDLE* phOptions,
                                ADSHANDLE* phConnect);
/* Closes every table of the connection (writing their pending changes and releasing their
 * locks), then the connection; the handle becomes invalid. */
VE_API UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect);
/* Answers VE_SERVER_LOCAL for every connection. */
VE_API UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType);
/* The connection's directory: absolute, "/" as separator, no trailing separator. */
VE_API UNSIGNED32 AdsGetConnectionPath(ADSHANDLE hConnect, UNSIGNED8* pucPath, UNSIGNED16* pusLen);
/* 1 while the connection's directory still exists. */
VE_API UNSIGNED32 AdsIsConnectionAlive(ADSHANDLE hConnect, UNSIGNED16* pbAlive);
/* The name of the machine that serves the connection (this host's name). */
VE_API UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen);
/* The local date (in the connection's date format), the milliseconds since midnight and the
 * time as "HH:MM:SS". */
VE_API UNSIGNED32 AdsGetServerTime(ADSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16* pusDateLen,
                                   SIGNED32* plTime, UNSIGNED8* pucTime, UNSIGNED16* pusTimeLen);
/* Whether a table file of that name (relative to the connection's directory unless absolute;
 * hConnect may be 0 for an absolute name) exists. */
VE_API UNSIGNED32 AdsCheckExistence(ADSHANDLE hConnect, const UNSIGNED8* pucFileName,
                                    UNSIGNED16* pbExists);
/* The kind of a handle (VE_HANDLE_...). */
VE_API UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType);

/* Process-wide: the server types later connections may use (mask of VE_SERVER_...; 0 or
 * unknown bits: VE_INVALID_ARGUMENT). Any non-empty mask is accepted; connecting needs the
 * local bit. */
VE_API UNSIGNED32 AdsSetServerType(UNSIGNED16 usServerOptions);
/* Process-wide date format for dates in text form: D, M, Y and C letters (any case; CC is the
 * century, so "CCYY" and "YYYY" both give four digits) and separators, at most 11 characters.
 * A format without day, month and year answers VE_INVALID_DATE_FORMAT and changes nothing. */
VE_API UNSIGNED32 AdsSetDateFormat(const UNSIGNED8* pucFormat);
/* The process-wide date format as last set (upper case). */
VE_API UNSIGNED32 AdsGetDateFormat(UNSIGNED8* pucFormat, UNSIGNED16* pusLen);
/* The date format of one connection and of the tables opened through it. */
VE_API UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, const UNSIGNED8* pucFormat);
/* Process-wide: whether navigation shows records marked deleted (1) or skips them (0, default:
 * shown, as freshly loaded). */
VE_API UNSIGNED32 AdsShowDeleted(UNSIGNED16 bShowDeleted);
VE_API UNSIGNED32 AdsGetDeleted(UNSIGNED16* pbShowDeleted);
/* Process-wide number of decimals used when doubles become text (default 2). */
VE_API UNSIGNED32 AdsSetDecimals(UNSIGNED16 usDecimals);
VE_API UNSIGNED32 AdsGetDecimals(UNSIGNED16* pusDecimals);
/* Process-wide: how many closed tables and cursors the engine may keep open for reuse.
 * Remembered; closing and reopening a table is cheap in this engine either way. */
VE_API UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen);
VE_API UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen);
/* How many records a table handle reads ahead when it skips forward in record-number order
 * (10 unless set; 0: none). Records read ahead are served only while nothing was committed
 * to the file since, so every read is still current. */
VE_API UNSIGNED32 AdsCacheRecords(ADSHANDLE hTable, UNSIGNED16 usNumRecords);
/* Number of table handles open in this process. */
VE_API UNSIGNED32 AdsGetNumOpenTables(UNSIGNED16* pusNum);
/* The engine's version: major, minor, a letter (blank when none) and a description. Any of
 * the pointers may be NULL. */
VE_API UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter,
                                UNSIGNED8* pucDesc, UNSIGNED16* pusDescLen);

/* A connection's properties (AdsGetConnectionProperty). Texts are answered as given in the
 * connection string (empty when not given); VE_CONNECTION_PROP_FIPS is UNSIGNED16 (1 or 0),
 * VE_CONNECTION_PROP_COMM_TYPE UNSIGNED32 (VE_COMM_...). The transport values mean nothing to
 * a local connection; they are kept so that a caller can open a connection like this one. A
 * data dictionary's password is never answered: it answers empty. */
#define VE_CONNECTION_PROP_USERNAME 0
#define VE_CONNECTION_PROP_PASSWORD 1
#define VE_CONNECTION_PROP_COMM_TYPE 2
#define VE_CONNECTION_PROP_ENCRYPTION_TYPE 3
#define VE_CONNECTION_PROP_FIPS 4
#define VE_CONNECTION_PROP_TLS_CERTIFICATE 5
#define VE_CONNECTION_PROP_TLS_CIPHERS 6
#define VE_CONNECTION_PROP_TLS_COMMON_NAME 7
#define VE_COMM_DEFAULT 0
#define VE_COMM_TCP_IP 1
#define VE_COMM_UDP_IP 2
#define VE_COMM_IPX 3
#define VE_COMM_TLS 5

/* One property of a connection into pvProperty (capacity *pulPropertyLen bytes in, length
 * out): a text with its terminating zero (VE_BUFFER_TOO_SMALL when it does not fit), or a
 * number of the size the property names (VE_INVALID_ARGUMENT for a smaller capacity).
 * VE_INVALID_ARGUMENT for an unknown property. */
VE_API UNSIGNED32 AdsGetConnectionProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                           void* pvProperty, UNSIGNED32* pulPropertyLen);
/* Lets go of the table files of the connection's directory that the process keeps open for
 * reuse after their last handle closed; files that a handle uses stay open. */
VE_API UNSIGNED32 AdsCloseCachedTables(ADSHANDLE hConnect);

/* ---- Finding tables ------------------------------------------------------------------------ */

/* Lists the table files of a directory whose names match a mask. pucFileMask is
 * "directory\mask" or "directory/mask" (a relative directory is taken from the connection's),
 * a bare mask (the connection's directory), or empty ("*.adt" in the connection's directory).
 * In the mask, "*" stands for any run of characters and "?" for exactly one; letter case does
 * not matter. Only regular files count; a table's own lock file ("name-lock" beside "name")
 * and the engine's work files (names starting with ".") are never listed. The names, without their
 * directory, are taken when the search begins and come in byte order of their names.
 * AdsFindFirstTable answers the first name and a search handle; each AdsFindNextTable the
 * next; both answer VE_NO_MORE_TABLES (5059) when there is none (AdsFindFirstTable then issues
 * no handle: *phFindHandle is 0). AdsFindClose ends the search; a search also ends with its
 * connection. */
VE_API UNSIGNED32 AdsFindFirstTable(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask,
                                    UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                    ADSHANDLE* phFindHandle);
VE_API UNSIGNED32 AdsFindNextTable(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                   UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen);
/* As above, each name with the alias of the dictionary link it was found through (empty for
 * a file and for the dictionary's own tables). On a data dictionary connection an empty mask
 * lists the dictionary's tables by name; the form below also lists, after them, the tables of
 * each link the user may use (opening those links; a link that cannot be opened lists none). */
VE_API UNSIGNED32 AdsFindFirstTable62(ADSHANDLE hConnect, const UNSIGNED8* pucFileMask,
                                      UNSIGNED8* pucFirstDD, UNSIGNED16* pusDDLen,
                                      UNSIGNED8* pucFirstFile, UNSIGNED16* pusFileLen,
                                      ADSHANDLE* phFindHandle);
VE_API UNSIGNED32 AdsFindNextTable62(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                     UNSIGNED8* pucDDName, UNSIGNED16* pusDDLen,
                                     UNSIGNED8* pucFileName, UNSIGNED16* pusFileLen);
VE_API UNSIGNED32 AdsFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle);

/* ---- Dictionary links --------------------------------------------------------------------
 * A link makes the tables of another data dictionary reachable through a dictionary
 * connection: a statement, or a table open, names them "alias.table". The administrator makes a
 * link with its alias, the linked dictionary's path (relative to the dictionary's folder unless
 * absolute) and how to log in there: a user and password of the linked dictionary, or the
 * connection's own user and password. A linked table is reached with the rights that log-in has on
 * the linked side, never more. A link is opened (is active) for a connection when a statement or
 * table open of the connection first uses it, and stays open until the connection ends or the link
 * is dropped; its log-in is made then, once.
 *
 * A link's password is stored sealed with a key of the dictionary and appears in no text; as
 * the key lies in the same file, what protects the password from someone who can read the
 * file is the file's permissions (readable only by the account that runs the programs).
 *
 * A connection to a directory of free tables has none: it counts 0 active links, and asking
 * for a link's description, creating or dropping a link answer VE_DICTIONARY_ONLY (5132).
 * Texts are 8-bit. */
/* The number of links the connection has opened. */
VE_API UNSIGNED32 AdsGetNumActiveLinks(ADSHANDLE hConnect, UNSIGNED16* pusNumLinks);
/* The description of active link usLinkNum (from 1, in the order they were opened): the
 * alias, the linked dictionary's path and the user logged in there, each ended by ";".
 * VE_DICTIONARY_ONLY for a number with no active link. */
VE_API UNSIGNED32 AdsGetActiveLinkInfo(ADSHANDLE hConnect, UNSIGNED16 usLinkNum,
                                       UNSIGNED8* pucLinkInfo, UNSIGNED16* pusBufferLen);
/* Makes a link (administrator only). ulOptions: bit 1 (global: every user of the dictionary
 * may use it; without it only the administrator), bit 2 (log in as the connection's own user
 * and password; pucUserName and pucPassword are then ignored), bit 4 (the path is kept
 * absolute rather than relative to the dictionary's folder). The log-in is tried once here:
 * VE_PATH_NOT_FOUND for a missing linked dictionary, VE_NOT_A_DICTIONARY, VE_LOGIN_FAILED
 * for a user or password the linked dictionary refuses; VE_DD_OBJECT_EXISTS for an alias in
 * use; VE_INVALID_ARGUMENT for a path not ending in ".add", a link to the dictionary itself,
 * unknown option bits, or an alias "main", "temp" or one holding ".", ";" or ":". */
VE_API UNSIGNED32 AdsDDCreateLink(ADSHANDLE hConnect, const UNSIGNED8* pucLinkAlias,
                                  const UNSIGNED8* pucLinkedDDPath, const UNSIGNED8* pucUserName,
                                  const UNSIGNED8* pucPassword, UNSIGNED32 ulOptions);
/* Drops a link (administrator only). A global link is taken from every user, so dropping it
 * needs usDropGlobal 1 (else VE_INVALID_ARGUMENT). Connections that opened it can no longer
 * use it. */
VE_API UNSIGNED32 AdsDDDropLink(ADSHANDLE hConnect, const UNSIGNED8* pucLinkedDD,
                                UNSIGNED16 usDropGlobal);

/* ---- Transactions ------------------------------------------------------------------------
 * A transaction belongs to a connection and covers every table the connection writes while it
 * is active: appends, edits, deletes and recalls, memo and blob values, and the index keys that
 * follow from them. Each record it changes or appends stays locked for the connection until
 * the transaction ends, whatever AdsUnlockRecord or AdsUnlockTable say meanwhile, and others
 * get VE_LOCK_REFUSED (5035).
 *
 * Isolation: none for reads. Changes reach the table files at once, so other connections read
 * them before the commit (and lose them again if the transaction rolls back); what they
 * cannot do is lock or change a record the transaction changed or appended.
 *
 * Durability: before a change is applied, the record's and memo values' previous contents
 * are written to the connection's undo journal (a hidden file ".varelum-txn-*.vtj" in each
 * folder whose tables the transaction changes, naming those tables by file name) and forced
 * to the disk, so each change costs two synced writes (an SQL statement changing many rows,
 * two per batch of rows). AdsCommitTransaction forces the tables to the disk and then writes
 * one commit record, in the journal of the first folder changed;
 * once it has answered 0 the whole transaction, across folders too, survives a crash of the
 * process or the machine, and a crash at any earlier instant leaves none of it. A commit that
 * fails before its commit record is on the disk rolls the transaction back before it answers,
 * and its error text says so.
 *
 * Rollback puts the previous contents back; a record appended in the transaction becomes a
 * deleted record (its record number and AutoInc value are not handed out again). A process
 * that ends inside a transaction (killed, power cut) leaves its journal behind; it is rolled
 * back by the next process that opens one of its tables, or that locks a record or table
 * there (before the lock is granted), or those answer VE_UNFINISHED_TRANSACTION when they
 * cannot write there. That rollback puts a record back only while it still holds what the
 * dead transaction wrote: a change someone committed after the owner died is kept. A folder
 * moved or copied with its journal recovers in its new place.
 *
 * Work that cannot be undone record by record is refused inside a transaction with
 * VE_IN_TRANSACTION: AdsZapTable, AdsPackTable, making, deleting and rebuilding index tags,
 * and adding or deleting custom keys. Disconnecting rolls back a transaction left open.
 * AdsBeginTransaction inside a transaction answers VE_IN_TRANSACTION; commit and rollback
 * outside one VE_NO_TRANSACTION. */
VE_API UNSIGNED32 AdsBeginTransaction(ADSHANDLE hConnect);
VE_API UNSIGNED32 AdsCommitTransaction(ADSHANDLE hConnect);
VE_API UNSIGNED32 AdsRollbackTransaction(ADSHANDLE hConnect);
/* Rolls back to the newest savepoint of that name (case-insensitive): the changes after it are
 * undone, later savepoints are forgotten, it and the transaction stay. A NULL or empty name
 * rolls back the whole transaction. VE_UNKNOWN_SAVEPOINT for a name not made in the
 * transaction; ulOptions must be 0. */
VE_API UNSIGNED32 AdsRollbackTransaction80(ADSHANDLE hConnect, UNSIGNED8* pucSavepoint,
                                           UNSIGNED32 ulOptions);
/* Marks the point reached in the transaction under a name (8-bit text, not empty); savepoints
 * nest. VE_NO_TRANSACTION outside a transaction; ulOptions must be 0. */
VE_API UNSIGNED32 AdsCreateSavepoint(ADSHANDLE hConnect, UNSIGNED8* pucSavepoint,
                                     UNSIGNED32 ulOptions);
/* 1 while a transaction is active on the connection, else 0. */
VE_API UNSIGNED32 AdsInTransaction(ADSHANDLE hConnect, UNSIGNED16* pbInTrans);
/* The number of transactions begun and not ended on the connection: 1 or 0, since a
 * transaction does not nest (savepoints do). */
VE_API UNSIGNED32 AdsGetTransactionCount(ADSHANDLE hConnect, UNSIGNED32* pulTransactionCount);

/* ---- Tables ------------------------------------------------------------------------------ */

/* Creates a table file and opens it (exclusively when ulOptions has VE_OPEN_EXCLUSIVE).
 * pucName: relative to the connection's directory unless absolute; ".adt" is added when the
 * name has no extension. hConnect 0: the name must be absolute and the table gets a
 * connection of its own to its directory, closed with it. pucDBObjName must be NULL or empty.
 * pucFields: "name,type[,length[,decimals]];..." with the types Logical, Numeric (Num), Date,
 * CompactDate, Char (Character, String), CIChar, Memo, Binary (Blob), Image, VarChar, Double,
 * Integer, ShortInt, Time, TimeStamp, AutoInc, Raw, CurDouble, Money, RowVersion, ModTime,
 * VarCharFox, VarBinaryFox, NChar, NVarChar, NMemo (any case). An existing table of that name
 * is replaced unless someone has it open (VE_TABLE_IN_USE). Errors: VE_INVALID_FIELD_DEFINITION
 * with the offending piece in the text, VE_NOT_SUPPORTED for table types other than ADT. */
VE_API UNSIGNED32 AdsCreateTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                   const UNSIGNED8* pucDBObjName, UNSIGNED16 usTableType,
                                   UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                   UNSIGNED16 usCheckRights, UNSIGNED16 usMemoSize,
                                   const UNSIGNED8* pucFields, UNSIGNED32 ulOptions,
                                   const UNSIGNED8* pucCollation, ADSHANDLE* phTable);
/* Opens a table file (name as for AdsCreateTable90; without an extension ".adt" is tried;
 * a name that differs from the file's only in case is found too). pucAlias is ignored.
 * ulOptions: VE_OPEN_... bits. An exclusive open fails with VE_TABLE_IN_USE while any other
 * handle, connection or process has the table open, and makes later opens fail alike.
 * Errors: VE_TABLE_NOT_FOUND, VE_TABLE_CORRUPT, VE_TABLE_VERSION, VE_NOT_SUPPORTED. The new
 * handle sits on the first record. */
VE_API UNSIGNED32 AdsOpenTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                 const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                 UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                 UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                                 const UNSIGNED8* pucCollation, ADSHANDLE* phTable);
/* Writes pending changes, releases the handle's locks when it was the connection's last handle
 * on the file, closes the handle. */
VE_API UNSIGNED32 AdsCloseTable(ADSHANDLE hTable);
/* Closes every table handle of the process. */
VE_API UNSIGNED32 AdsCloseAllTables(void);
/* Closes the handle and deletes its table file. Needs the table open by this handle alone
 * (VE_NOT_EXCLUSIVE otherwise; the handle then stays open). */
VE_API UNSIGNED32 AdsDeleteTable(ADSHANDLE hTable);
/* Removes every record (and memo) of the table. Needs the table open by this handle alone. */
VE_API UNSIGNED32 AdsZapTable(ADSHANDLE hTable);
/* Removes the records marked deleted and numbers the others 1..n in their order. Needs the
 * table open by this handle alone. The handle goes to the first record. */
VE_API UNSIGNED32 AdsPackTable(ADSHANDLE hTable);
/* Recovers what is intact of a damaged table file: every record whose image and memo values
 * verify goes, with its record number, into the new table file pucNewTable (name as for
 * AdsCopyTable; it must not exist), which gets the same fields, options and index tags (built
 * anew; none when their descriptions are damaged). The damaged file pucName (as for
 * AdsOpenTable90) is only read, with plain reads that trust none of its structure, so it may
 * be damaged in any way; a new file appears whole or not at all. *pulKept: the records kept.
 * pucLost: the numbers of the records lost, as ascending runs ("3, 7-9, 12"; empty for none);
 * *pulLostLen gives its capacity and receives the text's length, and a text that does not fit
 * is cut (the recovery stands). *pulState: VE_RECOVERED_... bits. Progress callbacks see its
 * percent done and stop it (nothing is left then). Errors: VE_TABLE_CORRUPT
 * (not even the field descriptions can be read), VE_TABLE_NOT_FOUND, VE_INVALID_ARGUMENT (the new
 * table exists), VE_OPERATION_CANCELLED. */
VE_API UNSIGNED32 AdsRecoverTable(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                  const UNSIGNED8* pucNewTable, UNSIGNED32* pulKept,
                                  UNSIGNED8* pucLost, UNSIGNED32* pulLostLen, UNSIGNED32* pulState);
/* The state bits of a recovered table (AdsRecoverTable). */
#define VE_RECOVERED_INDEXES                                          \
    0x1u /* the index tags were rebuilt (else their descriptions were \
          * damaged and the new table has none) */
#define VE_RECOVERED_PREVIOUS_COMMIT                          \
    0x2u /* the newest commit's pages were damaged: the table \
          * is as the commit before it left it */
/* Changes the fields of a closed table while keeping its records (and their numbers, deleted
 * ones too), memo values and index tags. The table (name as for AdsOpenTable90) is opened
 * exclusively for the whole work: VE_TABLE_IN_USE while anyone has it open. The new table is
 * built beside it and takes its place with one synced rename, so that a crash at any moment
 * leaves either the old table or the new one, whole. usCharType, usLockType, usCheckRights and
 * pucCollation are accepted as for AdsOpenTable90; the table keeps its own character type and
 * collation. Pack, reindex and index progress callbacks see its percent done, and stop it.
 *
 * The field texts (8-bit, NULL or empty for none; entries separated by ";"):
 *  - pucAddFields: "name,type[,length[,decimals]];..." as for AdsCreateTable90; the new fields
 *    follow the others and are null in every record (an added AutoInc numbers the records).
 *  - pucDeleteFields: "name;name;...". Their values go, and so do the index tags on them.
 *  - pucChangeFields: "name,newname[,type[,length[,decimals]]][,LOSSY];...". An empty or
 *    missing newname keeps the name, a missing type (length, decimals) keeps the field's own.
 *    Values are converted: texts to texts, numbers to numbers, dates to dates and timestamps,
 *    and between texts and the other types through their text; memo types keep their values
 *    only when the type stays. A value that would not survive (a text longer than the new
 *    length, a number out of the new range or losing digits, a text that is no value of the
 *    new type, a type with no conversion) refuses the whole change with VE_DATA_WOULD_BE_LOST,
 *    whose text names the field and the first record at fault; the table stays as it was.
 *    LOSSY allows the loss for that field: a text keeps what fits, other values become null.
 * Index tags are built anew on the new fields; a tag on a field list or on one bare field name
 * follows a renamed field, and a tag whose key no longer compiles goes. Errors:
 * VE_FIELD_NOT_FOUND, VE_INVALID_FIELD_DEFINITION,
 * VE_DATA_WOULD_BE_LOST, VE_DUPLICATE_KEY (a unique tag over converted values),
 * VE_OPERATION_CANCELLED, VE_TABLE_IN_USE, VE_NOT_SUPPORTED (table types other than ADT). */
VE_API UNSIGNED32 AdsRestructureTable90(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                        const UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                                        UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                                        UNSIGNED16 usCheckRights, const UNSIGNED8* pucAddFields,
                                        const UNSIGNED8* pucDeleteFields,
                                        const UNSIGNED8* pucChangeFields,
                                        const UNSIGNED8* pucCollation);
/* Table type (always VE_TABLE_TYPE_ADT), character type (1 ANSI, 2 OEM), collation (the one the
 * handle was opened with, else the table's; 5025 when neither exists). */
VE_API UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType);
VE_API UNSIGNED32 AdsGetTableCharType(ADSHANDLE hTable, UNSIGNED16* pusCharType);
VE_API UNSIGNED32 AdsGetTableCollation(ADSHANDLE hTable, UNSIGNED8* pucCollation,
                                       UNSIGNED16* pusLen);
/* The open options of the handle plus VE_TABLE_RIGHT_UPDATE | VE_TABLE_RIGHT_INSERT unless it
 * is read-only. */
VE_API UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions);
/* The table's file name: base name, with extension, or full path (VE_NAME_...). */
VE_API UNSIGNED32 AdsGetTableFilename(ADSHANDLE hTable, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                      UNSIGNED16* pusLen);
VE_API UNSIGNED32 AdsGetTableConnection(ADSHANDLE hTable, ADSHANDLE* phConnect);
/* Length of the record image in bytes (AdsGetRecord). */
VE_API UNSIGNED32 AdsGetRecordLength(ADSHANDLE hTable, UNSIGNED32* pulLength);
VE_API UNSIGNED32 AdsGetNumFields(ADSHANDLE hTable, UNSIGNED16* pusCount);
/* Name of field usFld (1-based). */
VE_API UNSIGNED32 AdsGetFieldName(ADSHANDLE hTable, UNSIGNED16 usFld, UNSIGNED8* pucName,
                                  UNSIGNED16* pusLen);
/* 1-based number of the named field; VE_FIELD_NOT_FOUND when there is none. */
VE_API UNSIGNED32 AdsGetFieldNum(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pusNum);
VE_API UNSIGNED32 AdsGetFieldType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16* pusType);
/* Declared length: bytes, or characters for NChar and NVarChar (which take twice as many
 * bytes); memo types answer the size of their marker slot. */
VE_API UNSIGNED32 AdsGetFieldLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulLength);
/* Decimals of Numeric, Double and CurDouble fields; 0 otherwise. */
VE_API UNSIGNED32 AdsGetFieldDecimals(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                      UNSIGNED16* pusDecimals);
/* Byte offset of the field in the record image. */
VE_API UNSIGNED32 AdsGetFieldOffset(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                    UNSIGNED32* pulOffset);
/* 1 for every field except AutoInc and RowVersion. */
VE_API UNSIGNED32 AdsIsNullable(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                UNSIGNED16* pbNullable);
/* VE_COLUMN_... bits: read, plus update and insert unless the handle is read-only or the
 * engine maintains the field. */
VE_API UNSIGNED32 AdsGetColumnPermissions(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                          UNSIGNED8* pucPermissions);
/* The memo block size given at creation (8 when 0 was given); values need no blocks here. */
VE_API UNSIGNED32 AdsGetTableMemoSize(ADSHANDLE hTable, UNSIGNED16* pusMemoSize);
/* The AutoInc value of the last record this handle appended; 0 before its first append. */
VE_API UNSIGNED32 AdsGetLastAutoinc(ADSHANDLE hObj, UNSIGNED32* pulAutoIncVal);
/* Checks a table's consistency: header, field descriptions, counters, every record image
 * (length, deleted flag, engine-maintained values), every index tag against the records, and,
 * with VE_CHECK_MEMOS, every memo value and marker. Writes a report of one line per problem found
 * ("OK" when there is none) into pucReport (capacity *pulLen; NULL allowed). Answers 0 when
 * consistent, VE_TABLE_CORRUPT when a problem was found. */
VE_API UNSIGNED32 AdsCheckTable(ADSHANDLE hTable, UNSIGNED32 ulOptions, UNSIGNED8* pucReport,
                                UNSIGNED32* pulLen);

/* ---- Navigation -------------------------------------------------------------------------- */
/* hObj may be a table handle or an index handle (which moves its table in key order, within
 * its scope). Records marked deleted are passed over while AdsShowDeleted is off, and so are
 * records the handle's filters refuse. */

/* To the first record (the EOF crack, with BOF set too, on an empty table). */
VE_API UNSIGNED32 AdsGotoTop(ADSHANDLE hObj);
/* To the last record (the crack with both flags on an empty table). */
VE_API UNSIGNED32 AdsGotoBottom(ADSHANDLE hObj);
/* To the BOF crack: AdsSkip(1) then goes to the first record. */
VE_API UNSIGNED32 AdsGotoBOF(ADSHANDLE hObj);
/* To the EOF crack: AdsSkip(-1) then goes to the last record. */
VE_API UNSIGNED32 AdsGotoEOF(ADSHANDLE hObj);
/* Moves lRecs records forward (negative: backward); running off an end stops on the crack
 * there. AdsSkip(0) re-reads the current record. */
VE_API UNSIGNED32 AdsSkip(ADSHANDLE hObj, SIGNED32 lRecs);
VE_API UNSIGNED32 AdsAtEOF(ADSHANDLE hTable, UNSIGNED16* pbAtEOF);
VE_API UNSIGNED32 AdsAtBOF(ADSHANDLE hTable, UNSIGNED16* pbAtBOF);
/* To record number ulRec, also when it is marked deleted. A number with no record answers
 * VE_RECORD_NOT_FOUND and leaves the handle on EOF; 0 goes to EOF without an error. */
VE_API UNSIGNED32 AdsGotoRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
/* The current record number; 0 on a crack. usFilterOption (VE_RESPECT_FILTERS, ...) is
 * accepted: a table handle's number is always the physical one. On a pending append the
 * number the record will get. */
VE_API UNSIGNED32 AdsGetRecordNum(ADSHANDLE hObj, UNSIGNED16 usFilterOption, UNSIGNED32* pulRec);
/* Number of records: those not marked deleted while AdsShowDeleted is off, all while it is on.
 * usFilterOption VE_IGNORE_FILTERS (filters and scopes ignored; an index handle counts every
 * key of its tag, whatever its scope), VE_RESPECT_SCOPES (the keys in an index handle's scope) or
 * VE_RESPECT_FILTERS (what navigation through the handle shows), optionally plus VE_REFRESH_COUNT;
 * counts are always fresh. Counts that respect filters or scopes walk the records they count. */
VE_API UNSIGNED32 AdsGetRecordCount(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                    UNSIGNED32* pulCount);
/* The current position as a bookmark value (the record number; 0 on a crack). */
VE_API UNSIGNED32 AdsGetBookmark(ADSHANDLE hObj, ADSHANDLE* phBookmark);
/* The current position as bookmark bytes: the first four are the record number
 * (little-endian). *pulLength: capacity in, length out (AdsGetBookmarkLength). */
VE_API UNSIGNED32 AdsGetBookmark60(ADSHANDLE hObj, UNSIGNED8* pucBookmark, UNSIGNED32* pulLength);
/* Length of the handle's bookmarks in bytes (4 for a table in record order). */
VE_API UNSIGNED32 AdsGetBookmarkLength(ADSHANDLE hObj, UNSIGNED32* pulLength);
/* To the record of a bookmark value; as AdsGotoRecord. */
VE_API UNSIGNED32 AdsGotoBookmark(ADSHANDLE hTable, ADSHANDLE hBookmark);
/* To the record of bookmark bytes; as AdsGotoRecord. */
VE_API UNSIGNED32 AdsGotoBookmark60(ADSHANDLE hObj, const UNSIGNED8* pucBookmark);
/* *plResult < 0, 0, > 0 as the first bookmark's record comes before, is, or follows the
 * second's. */
VE_API UNSIGNED32 AdsCompareBookmarks(const UNSIGNED8* pucBookmark1, const UNSIGNED8* pucBookmark2,
                                      SIGNED32* plResult);
/* Copies the current record image (with the handle's pending changes) into pucRec;
 * VE_BUFFER_TOO_SMALL when *pulLen is below the record length. Memo fields hold 0xFFFFFFFF
 * (then the value's CRC-32) when they have a value, 0 when null. On a pending append this fixes
 * its record number and AutoInc value. docs/table-format.md gives the image field by field. */
VE_API UNSIGNED32 AdsGetRecord(ADSHANDLE hTable, UNSIGNED8* pucRec, UNSIGNED32* pulLen);
/* Fills pucBuf (ulLen bytes, at most the record length) with the empty record image: every
 * field null. */
VE_API UNSIGNED32 AdsClearRecordBuffer(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
/* The empty record image into pucBuf (capacity *pulLen). */
VE_API UNSIGNED32 AdsGetNullRecord(ADSHANDLE hTable, UNSIGNED8* pucBuf, UNSIGNED32* pulLen);
/* Discards pending field changes of the current record and reads it again from the file.
 * VE_NO_CURRENT_RECORD on a crack. */
VE_API UNSIGNED32 AdsRefreshRecord(ADSHANDLE hTable);
/* Whether the current record is visible through the handle: not deleted while deleted records
 * are hidden, passing the filters, and (through an index handle) with a key in its scope.
 * VE_NO_CURRENT_RECORD on a crack. */
VE_API UNSIGNED32 AdsIsRecordVisible(ADSHANDLE hObj, UNSIGNED16* pbVisible);
/* Whether the current record is marked deleted. */
VE_API UNSIGNED32 AdsIsRecordDeleted(ADSHANDLE hTable, UNSIGNED16* pbDeleted);
/* CRC-32 of the current record: ulOptions 0 the record as the file holds it now (memo values
 * included through their checksums), 1 with the handle's pending changes. */
VE_API UNSIGNED32 AdsGetRecordCRC(ADSHANDLE hTable, UNSIGNED32* pulCRC, UNSIGNED32 ulOptions);

/* ---- Field values ------------------------------------------------------------------------ */
/* Getters read the current record with its pending changes; on a crack they answer
 * VE_NO_CURRENT_RECORD. Text values of Char fields are returned as stored, padded, unless a
 * trim option is given; a null field reads as empty text, 0, or false. */

/* The value as 8-bit text: text types as stored (OEM tables translated), numbers in decimal,
 * dates in the date format, times "HH:MM:SS[.mmm]", timestamps the date, a blank and
 * "HH:MM:SS.mmm", logicals "T"/"F",
 * memos their text, binary values their bytes. usOption: VE_TRIM_.... */
VE_API UNSIGNED32 AdsGetField(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                              UNSIGNED32* pulLen, UNSIGNED16 usOption);
/* As AdsGetField, in UTF-16; *pulLen counts characters. */
VE_API UNSIGNED32 AdsGetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption);
/* Same as AdsGetField and AdsGetFieldW. */
VE_API UNSIGNED32 AdsGetString(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                               UNSIGNED32* pulLen, UNSIGNED16 usOption);
VE_API UNSIGNED32 AdsGetStringW(ADSHANDLE hTable, const UNSIGNED8* pucFldName, WCHAR* pwcBuf,
                                UNSIGNED32* pulLen, UNSIGNED16 usOption);
/* Length the value needs as text (without terminator; characters for the wide types), after
 * the trim option ulOptions. Memo and binary fields: the value's length. */
VE_API UNSIGNED32 AdsGetDataLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED32 ulOptions, UNSIGNED32* pulLength);
/* Numeric values of numeric fields (and of text holding a number). */
VE_API UNSIGNED32 AdsGetDouble(ADSHANDLE hTable, const UNSIGNED8* pucFldName, double* pdValue);
VE_API UNSIGNED32 AdsGetLong(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plValue);
VE_API UNSIGNED32 AdsGetShort(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED16* psValue);
/* Logical value (1 true). */
VE_API UNSIGNED32 AdsGetLogical(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbValue);
/* Julian day of a Date, TimeStamp or ModTime field (0 when null). */
VE_API UNSIGNED32 AdsGetJulian(ADSHANDLE hTable, const UNSIGNED8* pucFldName, SIGNED32* plDate);
/* Milliseconds since midnight of a Time, TimeStamp or ModTime field. */
VE_API UNSIGNED32 AdsGetMilliseconds(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     SIGNED32* plTime);
/* Date in the date format (empty when null). */
VE_API UNSIGNED32 AdsGetDate(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                             UNSIGNED16* pusLen);
/* Time as "HH:MM:SS", with ".mmm" when the milliseconds are not 0 (empty when null). */
VE_API UNSIGNED32 AdsGetTime(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED8* pucBuf,
                             UNSIGNED16* pusLen);
/* Empty: null, or a text, memo or binary value of no characters or only blanks. */
VE_API UNSIGNED32 AdsIsEmpty(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbEmpty);
VE_API UNSIGNED32 AdsIsNull(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED16* pbNull);
/* Length of a memo or binary value (characters for NMemo); 0 when null. */
VE_API UNSIGNED32 AdsGetMemoLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                   UNSIGNED32* pulLength);
/* VE_MEMO_TEXT for Memo, VarChar and NMemo, VE_BINARY_BINARY, VE_BINARY_IMAGE. */
VE_API UNSIGNED32 AdsGetMemoDataType(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED16* pusType);
/* Bytes of a memo or binary value from ulOffset on (capacity *pulLen, length out). A buffer
 * shorter than the rest of the value is filled and answers 0: read on from a later offset. */
VE_API UNSIGNED32 AdsGetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName, UNSIGNED32 ulOffset,
                               UNSIGNED8* pucBuf, UNSIGNED32* pulLen);
VE_API UNSIGNED32 AdsGetBinaryLength(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                     UNSIGNED32* pulLength);

/* Setters change the handle's record buffer (the current record or a pending append). The
 * first change of an existing record locks it for this connection unless it holds that lock
 * or the table lock already (VE_LOCK_REFUSED when another user holds it); the write releases
 * such an implicit lock. A read-only handle answers VE_READ_ONLY. AutoInc fields answer
 * VE_FIELD_READ_ONLY; values set for RowVersion and ModTime fields are replaced by the
 * engine's own at the write. Text longer than its field is cut. A value the field cannot
 * take changes nothing and takes no lock. */

/* The value from 8-bit text (ulLen bytes), converted by the field's type: numbers parsed
 * ("." as decimal point; VE_VALUE_NOT_CONVERTIBLE when it is no number, VE_VALUE_OUT_OF_RANGE
 * when it does not fit), dates in the date format, logicals from T/t/Y/y/1 (true) and
 * F/f/N/n/0 (false), memos and binary values as the bytes. */
VE_API UNSIGNED32 AdsSetField(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                              UNSIGNED32 ulLen);
/* As AdsSetField from UTF-16 (ulLen characters). */
VE_API UNSIGNED32 AdsSetFieldW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                               UNSIGNED32 ulLen);
/* The field's record-image bytes as given (ulLen at most the field length; null markers are
 * taken as nulls). VarCharFox/VarBinaryFox/NVarChar: ulLen is the used length (0xFFFF null). */
VE_API UNSIGNED32 AdsSetFieldRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                 const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
VE_API UNSIGNED32 AdsSetString(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucBuf,
                               UNSIGNED32 ulLen);
VE_API UNSIGNED32 AdsSetStringW(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const WCHAR* pwcBuf,
                                UNSIGNED32 ulLen);
VE_API UNSIGNED32 AdsSetDouble(ADSHANDLE hObj, const UNSIGNED8* pucFldName, double dValue);
VE_API UNSIGNED32 AdsSetLong(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lValue);
VE_API UNSIGNED32 AdsSetShort(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED16 sValue);
VE_API UNSIGNED32 AdsSetLogical(ADSHANDLE hObj, const UNSIGNED8* pucFldName, UNSIGNED16 bValue);
/* Date (Julian day) of a Date, TimeStamp or ModTime field; the time part is kept. */
VE_API UNSIGNED32 AdsSetJulian(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lDate);
/* Milliseconds of a Time, TimeStamp or ModTime field; the date part is kept. */
VE_API UNSIGNED32 AdsSetMilliseconds(ADSHANDLE hObj, const UNSIGNED8* pucFldName, SIGNED32 lTime);
/* Date from text in the date format (usLen bytes); an empty text makes it null. */
VE_API UNSIGNED32 AdsSetDate(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue,
                             UNSIGNED16 usLen);
/* Time from "HH:MM[:SS[.mmm]]" text (usLen bytes); an empty text makes it null. */
VE_API UNSIGNED32 AdsSetTime(ADSHANDLE hObj, const UNSIGNED8* pucFldName, const UNSIGNED8* pucValue,
                             UNSIGNED16 usLen);
/* A TimeStamp or ModTime from 8 bytes: 32-bit Julian day, then 32-bit milliseconds. */
VE_API UNSIGNED32 AdsSetTimeStampRaw(ADSHANDLE hObj, const UNSIGNED8* pucFldName,
                                     const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);
/* Empty is null in ADT tables. */
VE_API UNSIGNED32 AdsSetEmpty(ADSHANDLE hObj, const UNSIGNED8* pucFldName);
VE_API UNSIGNED32 AdsSetNull(ADSHANDLE hObj, const UNSIGNED8* pucFldName);
/* Part of a memo or binary value: the value becomes ulTotalLength bytes long and pucBuf
 * (ulLen bytes) is placed at ulOffset; usBinaryType VE_BINARY_BINARY or VE_BINARY_IMAGE (or
 * VE_MEMO_TEXT on a text memo). Send the parts in any order. */
VE_API UNSIGNED32 AdsSetBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                               UNSIGNED16 usBinaryType, UNSIGNED32 ulTotalLength,
                               UNSIGNED32 ulOffset, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen);

/* Date conversions. "YYYYMMDD" text to a Julian day (all blanks or zeros: 0); a Julian day to
 * "YYYYMMDD" (0: eight blanks); text in the connection's date format (hConnect 0: the
 * process's) to a Julian day. */
VE_API UNSIGNED32 AdsConvertStringToJulian(const UNSIGNED8* pucJulian, UNSIGNED16 usLen,
                                           double* pdJulian);
VE_API UNSIGNED32 AdsConvertJulianToString(double dJulian, UNSIGNED8* pucJulian,
                                           UNSIGNED16* pusLen);
VE_API UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, const UNSIGNED8* pucDate,
                                         UNSIGNED16 usLen, double* pdJulian);

/* ---- Editing and locks ------------------------------------------------------------------- */

/* Writes pending changes, then starts a new record in the handle's buffer: every field null,
 * AutoInc assigned (unique in the table, rising), RowVersion and ModTime set. Nothing reaches
 * the file until AdsWriteRecord; AdsCancelUpdate discards it. Its record number is fixed the
 * first time it is asked for, or at the write. */
VE_API UNSIGNED32 AdsAppendRecord(ADSHANDLE hTable);
/* Writes the pending append or field changes in one durable transaction (RowVersion and ModTime
 * renewed) and releases an implicit lock. 0 when nothing is pending. */
VE_API UNSIGNED32 AdsWriteRecord(ADSHANDLE hTable);
/* Marks the current record deleted (written at once; the record stays until AdsPackTable). */
VE_API UNSIGNED32 AdsDeleteRecord(ADSHANDLE hTable);
/* Clears the deleted mark of the current record. */
VE_API UNSIGNED32 AdsRecallRecord(ADSHANDLE hTable);
/* Discards the pending append (back to the record before it) or the pending field changes.
 * VE_NOTHING_TO_CANCEL when there is neither. */
VE_API UNSIGNED32 AdsCancelUpdate(ADSHANDLE hTable);
/* Locks record ulRec (0: the current one) for this connection. VE_LOCK_REFUSED when another
 * connection or process holds it or the table lock; VE_RECORD_NOT_FOUND for a number with no
 * record. Locking a record this connection holds already succeeds. Locks end at unlock, at the
 * connection's last close of the table, at disconnect, and when the process ends. */
VE_API UNSIGNED32 AdsLockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
/* Writes pending changes of that record, then unlocks it. VE_RECORD_NOT_LOCKED when this
 * connection does not hold it. */
VE_API UNSIGNED32 AdsUnlockRecord(ADSHANDLE hTable, UNSIGNED32 ulRec);
/* Whether this connection holds a lock on record ulRec (0: the current one) or the table. */
VE_API UNSIGNED32 AdsIsRecordLocked(ADSHANDLE hTable, UNSIGNED32 ulRec, UNSIGNED16* pbLocked);
/* Number of record locks this connection holds on the table. */
VE_API UNSIGNED32 AdsGetNumLocks(ADSHANDLE hTable, UNSIGNED16* pusNum);
/* The locked record numbers, in rising order, into the caller's array (capacity
 * *pusArrayLen, count out; 5005 when they do not all fit). */
VE_API UNSIGNED32 AdsGetAllLocks(ADSHANDLE hTable, UNSIGNED32* aulLocks, UNSIGNED16* pusArrayLen);
/* Locks the whole table for this connection: refused (VE_LOCK_REFUSED) while another
 * connection holds any record lock or the table lock. */
VE_API UNSIGNED32 AdsLockTable(ADSHANDLE hTable);
/* Writes pending changes and releases the table lock (record locks stay).
 * VE_TABLE_NOT_LOCKED when the connection does not hold it. */
VE_API UNSIGNED32 AdsUnlockTable(ADSHANDLE hTable);
VE_API UNSIGNED32 AdsIsTableLocked(ADSHANDLE hTable, UNSIGNED16* pbLocked);
/* Writes pending changes and flushes the table file to disk (every write is durable already). */
VE_API UNSIGNED32 AdsFlushFileBuffers(ADSHANDLE hTable);

/* ---- Index tags --------------------------------------------------------------------------
 * A table file holds its index tags; each tag keeps one key per record (none where its FOR
 * condition is false), and every write keeps every tag in step in the same transaction.
 * Tags created without a file name (or with the table's own) open with every table handle;
 * tags created with a file name of their own belong to that index file beside the table
 * ("Extra.adi"; ".adi" is added without an extension) and are open on a handle once it
 * opened the file. An index handle (hIndex) is one tag open on one table handle: navigation
 * through it moves the table in key order (the record number stays the physical one), and
 * it becomes invalid when its table handle closes. Keys are at most 480 bytes. */

/* Creates a tag and builds its keys from the records; *phIndex (may be NULL) gets its handle
 * on hObj. pucFileName: NULL or the table's own name for a tag of the table file, another name
 * for an index file beside the table. pucTag: the tag name (NULL: the file's base name).
 * pucExpr: a key expression, or field names separated by ";" (a key of several segments); a
 * text field of such a list written UPPER(name) is a segment that ignores case.
 * pucCondition: NULL or a FOR condition. pucWhile must be NULL or empty. ulOptions:
 * VE_INDEX_... bits. ulPageSize is accepted and answered. pucCollation: NULL for the handle's
 * collation. Errors: VE_INDEX_EXISTS, VE_INVALID_EXPRESSION (with the position), VE_KEY_TOO_LONG,
 * VE_DUPLICATE_KEY (a unique tag over records with equal keys; nothing is created),
 * VE_UNKNOWN_COLLATION, VE_TOO_MANY_INDEXES. */
VE_API UNSIGNED32 AdsCreateIndex90(ADSHANDLE hObj, const UNSIGNED8* pucFileName,
                                   const UNSIGNED8* pucTag, const UNSIGNED8* pucExpr,
                                   const UNSIGNED8* pucCondition, const UNSIGNED8* pucWhile,
                                   UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                                   const UNSIGNED8* pucCollation, ADSHANDLE* phIndex);
/* Opens the tags of an index file (relative to the table's directory unless absolute; the
 * table's own name reopens the table's tags) and writes their handles into ahIndex (capacity
 * *pusArrayLen, count out; both may be NULL; 5005 when they do not all fit).
 * VE_INDEX_ALREADY_OPEN (5065) when the file is open on the handle already,
 * VE_INDEX_FILE_NOT_FOUND when it is missing or belongs to another table. */
VE_API UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, const UNSIGNED8* pucName, ADSHANDLE* ahIndex,
                               UNSIGNED16* pusArrayLen);
/* Closes the index file of the tag on its table handle: every handle of its tags becomes
 * invalid (the keys stay and are kept in step). */
VE_API UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex);
/* Closes every index file open on the table handle (the table's own tags too). */
VE_API UNSIGNED32 AdsCloseAllIndexes(ADSHANDLE hTable);
/* Deletes the tag and its keys; needs the table open by this handle alone (VE_NOT_EXCLUSIVE). */
VE_API UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex);
/* Builds every tag of the table again from the records (custom tags keep their records).
 * ulPageSize is accepted. */
VE_API UNSIGNED32 AdsReindex61(ADSHANDLE hObj, UNSIGNED32 ulPageSize);
VE_API UNSIGNED32 AdsReindex(ADSHANDLE hObj);
/* Number of tags open on the handle, and their handles in order of creation (5005 with the
 * count when the array is too small). */
VE_API UNSIGNED32 AdsGetNumIndexes(ADSHANDLE hTable, UNSIGNED16* pusNum);
VE_API UNSIGNED32 AdsGetAllIndexes(ADSHANDLE hTable, ADSHANDLE* ahIndex, UNSIGNED16* pusArrayLen);
/* The handle of the open tag of that name (case-insensitive); VE_INDEX_NOT_OPEN (5016) when no
 * such tag is open. NULL or an empty name: the index the handle last moved through, or 0. */
VE_API UNSIGNED32 AdsGetIndexHandle(ADSHANDLE hTable, const UNSIGNED8* pucIndexOrder,
                                    ADSHANDLE* phIndex);
/* The usOrderNum-th open tag (1-based); VE_INDEX_NOT_OPEN beyond the last. */
VE_API UNSIGNED32 AdsGetIndexHandleByOrder(ADSHANDLE hTable, UNSIGNED16 usOrderNum,
                                           ADSHANDLE* phIndex);
/* Name, key expression (as given) and FOR condition (empty when none) of the tag. */
VE_API UNSIGNED32 AdsGetIndexName(ADSHANDLE hIndex, UNSIGNED8* pucName, UNSIGNED16* pusLen);
VE_API UNSIGNED32 AdsGetIndexExpr(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen);
VE_API UNSIGNED32 AdsGetIndexCondition(ADSHANDLE hIndex, UNSIGNED8* pucExpr, UNSIGNED16* pusLen);
/* The file the tag belongs to (the table file for its own tags): VE_NAME_... option. */
VE_API UNSIGNED32 AdsGetIndexFilename(ADSHANDLE hIndex, UNSIGNED16 usOption, UNSIGNED8* pucName,
                                      UNSIGNED16* pusLen);
/* The page size given at creation (512 when 0 was given). */
VE_API UNSIGNED32 AdsGetIndexPageSize(ADSHANDLE hIndex, UNSIGNED32* pulPageSize);
/* The VE_INDEX_... options of the tag (VE_INDEX_COMPOUND always set). */
VE_API UNSIGNED32 AdsGetIndexFlags(ADSHANDLE hIndex, UNSIGNED32* pulFlags);
/* The fields of a field-list key (or of a key that is one field), in order; a key expression
 * has no segments. usSegment counts from 0. */
VE_API UNSIGNED32 AdsGetNumSegments(ADSHANDLE hIndex, UNSIGNED16* pusSegments);
VE_API UNSIGNED32 AdsGetSegmentFieldname(ADSHANDLE hIndex, UNSIGNED16 usSegment, UNSIGNED8* pucName,
                                         UNSIGNED16* pusLen);
/* Yes/no answers on the tag. AdsIsIndexCustom answers VE_NOT_APPLICABLE (5017) for a table
 * handle; AdsIsIndexPrimaryKey is always no (free tables have no primary keys). */
VE_API UNSIGNED32 AdsIsIndexCompound(ADSHANDLE hIndex, UNSIGNED16* pbCompound);
VE_API UNSIGNED32 AdsIsIndexCustom(ADSHANDLE hIndex, UNSIGNED16* pbCustom);
VE_API UNSIGNED32 AdsIsIndexDescending(ADSHANDLE hIndex, UNSIGNED16* pbDescending);
VE_API UNSIGNED32 AdsIsIndexUnique(ADSHANDLE hIndex, UNSIGNED16* pbUnique);
VE_API UNSIGNED32 AdsIsIndexCandidate(ADSHANDLE hIndex, UNSIGNED16* pbCandidate);
VE_API UNSIGNED32 AdsIsIndexPrimaryKey(ADSHANDLE hIndex, UNSIGNED16* pbPrimary);
/* Length of the tag's raw keys in bytes, and the type of its values (VE_EXPR_...; VE_EXPR_RAW
 * for a key of several segments). */
VE_API UNSIGNED32 AdsGetKeyLength(ADSHANDLE hIndex, UNSIGNED16* pusKeyLength);
VE_API UNSIGNED32 AdsGetKeyType(ADSHANDLE hIndex, UNSIGNED16* pusKeyType);
/* Number of keys: VE_IGNORE_FILTERS every key of the tag, VE_RESPECT_SCOPES those in the
 * handle's scope, VE_RESPECT_FILTERS those navigation shows. Records marked deleted count
 * only while they are shown. */
VE_API UNSIGNED32 AdsGetKeyCount(ADSHANDLE hIndex, UNSIGNED16 usFilterOption,
                                 UNSIGNED32* pulKeyCount);
/* 1-based position of the current record among the keys in scope (with filters for
 * VE_RESPECT_FILTERS); 0 on a crack. */
VE_API UNSIGNED32 AdsGetKeyNum(ADSHANDLE hIndex, UNSIGNED16 usFilterOption, UNSIGNED32* pulKey);
/* The current record's position in the scope as a fraction: k / n for the k-th of n keys (so
 * that n × position cut to an integer is k), 0.0 on BOF, 1.0 on EOF. VE_NO_KEY_POSITION (5041)
 * when the scope has no keys or the record has no key. */
VE_API UNSIGNED32 AdsGetRelKeyPos(ADSHANDLE hIndex, double* pdPos);
/* Goes to the key nearest the fraction dPos (0.0 the first, 1.0 the last). */
VE_API UNSIGNED32 AdsSetRelKeyPos(ADSHANDLE hIndex, double dPos);
/* The raw key of the current record (whether or not its FOR condition holds). */
VE_API UNSIGNED32 AdsExtractKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusLen);
/* Adds or removes the current record's key in a custom tag (VE_INVALID_ARGUMENT for others;
 * VE_DUPLICATE_KEY in a unique one). */
VE_API UNSIGNED32 AdsAddCustomKey(ADSHANDLE hIndex);
VE_API UNSIGNED32 AdsDeleteCustomKey(ADSHANDLE hIndex);

/* ---- Raw keys, seeks and scopes ------------------------------------------------------------
 * A raw key is built segment by segment: AdsInitRawKey, then AdsSetField, AdsSetFieldW,
 * AdsSetFieldRaw or AdsSetEmpty on the index handle with a segment's field name (the value as
 * for a record field; a text given shorter than its field stays that short in a partial key),
 * then AdsBuildRawKey. Raw keys compare as bytes; a leading part of a key finds every key that
 * begins with it. */

/* Forgets every segment value set on the index handle. */
VE_API UNSIGNED32 AdsInitRawKey(ADSHANDLE hIndex);
/* The partial key: the segments up to the last one set (VE_BUFFER_TOO_SMALL when *pusKeyLen is
 * below its length, which is written). */
VE_API UNSIGNED32 AdsBuildRawKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen);
/* ulOptions VE_KEY_WHOLE: every segment (those not set empty); VE_KEY_PARTIAL or
 * VE_KEY_WIDE_PARTIAL: as AdsBuildRawKey. */
VE_API UNSIGNED32 AdsBuildRawKey100(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16* pusKeyLen,
                                    UNSIGNED32 ulOptions);
/* The raw key of a record image (ulRecordLen at least the record length). */
VE_API UNSIGNED32 AdsBuildKeyFromRecord(ADSHANDLE hIndex, const UNSIGNED8* pucRecBuffer,
                                        UNSIGNED32 ulRecordLen, UNSIGNED8* pucKey,
                                        UNSIGNED16* pusKeyLen);
/* Steps a whole raw key (usLen bytes, in place) to the next (sDirection > 0) or previous key
 * of the same length, for exclusive scope bounds. VE_INVALID_KEY at the end of the key space. */
VE_API UNSIGNED32 AdsStepIndexKey(ADSHANDLE hIndex, UNSIGNED8* pucKey, UNSIGNED16 usLen,
                                  SIGNED16 sDirection);
/* Seeks in the tag's order within its scope, passing over records navigation would not show.
 * pucKey: usKeyLen bytes (VE_KEY_ZERO_TERMINATED: up to a terminating zero) of the kind
 * usDataType (VE_RAWKEY, VE_STRINGKEY, VE_WSTRINGKEY, VE_DOUBLEKEY); usSeekType VE_SOFTSEEK,
 * VE_HARDSEEK (EOF when not found), or VE_SEEKGT added to VE_SOFTSEEK. *pbFound: a key that
 * begins with the given one was found. VE_INVALID_KEY for text that is no value of the key. */
VE_API UNSIGNED32 AdsSeek(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                          UNSIGNED16 usDataType, UNSIGNED16 usSeekType, UNSIGNED16* pbFound);
/* The last key that begins with the given one (a hard seek from the end: EOF when none). */
VE_API UNSIGNED32 AdsSeekLast(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                              UNSIGNED16 usDataType, UNSIGNED16* pbFound);
/* Whether a shown record has a key that begins with the given one; the handle does not move. */
VE_API UNSIGNED32 AdsLookupKey(ADSHANDLE hIndex, const UNSIGNED8* pucKey, UNSIGNED16 usKeyLen,
                               UNSIGNED16 usDataType, UNSIGNED16* pbFound);
/* Bounds the index handle to keys from the top bound (usScopeOption VE_TOP) and to keys up to
 * those beginning with the bottom bound (VE_BOTTOM). The key as for AdsSeek (usScopeLen bytes).
 * Navigation, counts and seeks through the handle stay inside; the handle does not move. */
VE_API UNSIGNED32 AdsSetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, const UNSIGNED8* pucScope,
                              UNSIGNED16 usScopeLen, UNSIGNED16 usDataType);
/* The bound as given (text as 8-bit text, raw keys as bytes); VE_NO_SCOPE (5038) when none. */
VE_API UNSIGNED32 AdsGetScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption, UNSIGNED8* pucScope,
                              UNSIGNED16* pusBufLen);
/* Removes one bound; VE_NO_SCOPE when there is none. */
VE_API UNSIGNED32 AdsClearScope(ADSHANDLE hIndex, UNSIGNED16 usScopeOption);
/* Removes every bound of every index handle of the table handle. */
VE_API UNSIGNED32 AdsClearAllScopes(ADSHANDLE hTable);

/* ---- Filters, locate ---------------------------------------------------------------------
 * A table handle has at most one optimised filter (AOF) and one plain filter; navigation,
 * AdsIsRecordVisible, seeks and counts with VE_RESPECT_FILTERS show only records that pass
 * both. A plain filter is evaluated record by record. An AOF's terms that compare an indexed
 * expression (a tag without condition, in ascending order, of the handle's collation) with a
 * constant are answered through the tag without reading records; the rest is evaluated on
 * the candidates. Filters capture the handle's exact setting and date format when set. */

/* Sets the AOF (replacing one set before). pvFilter: 8-bit text, or UTF-16 with
 * VE_FILTER_UTF16; ulOptions: VE_AOF_... bits. VE_INVALID_EXPRESSION for a faulty or non-logical
 * condition (the text gives the position). */
VE_API UNSIGNED32 AdsSetAOF100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions);
VE_API UNSIGNED32 AdsSetAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16 usOptions);
/* The AOF's text; VE_NO_FILTER (5037) without one. AdsGetAOF100 with VE_FILTER_UTF16 in
 * ulOptions writes UTF-16 and counts *pulLen in characters. */
VE_API UNSIGNED32 AdsGetAOF(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
VE_API UNSIGNED32 AdsGetAOF100(ADSHANDLE hTable, UNSIGNED32 ulOptions, void* pvFilter,
                               UNSIGNED32* pulLen);
/* Removes the AOF; VE_NO_FILTER when there is none. */
VE_API UNSIGNED32 AdsClearAOF(ADSHANDLE hTable);
/* Resolves the AOF's record set again now (key-set and fixed AOFs take in changes). */
VE_API UNSIGNED32 AdsRefreshAOF(ADSHANDLE hTable);
/* How the AOF is optimised (VE_OPTIMIZED_...) and its part evaluated record by record (empty
 * when fully optimised); VE_NO_FILTER without an AOF. ulOptions VE_FILTER_UTF16: UTF-16 text,
 * *pulLen in characters. */
VE_API UNSIGNED32 AdsGetAOFOptLevel100(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, void* pvNonOpt,
                                       UNSIGNED32* pulLen, UNSIGNED32 ulOptions);
VE_API UNSIGNED32 AdsGetAOFOptLevel(ADSHANDLE hTable, UNSIGNED16* pusOptLevel, UNSIGNED8* pucNonOpt,
                                    UNSIGNED16* pusLen);
/* How a filter would be optimised on this handle, without setting it. */
VE_API UNSIGNED32 AdsEvalAOF(ADSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16* pusOptLevel);
/* Adds, removes or toggles records (VE_AOF_..._RECORD) in the AOF's set: an added record is
 * shown whatever it holds, a removed one never. VE_NO_FILTER without an AOF. */
VE_API UNSIGNED32 AdsCustomizeAOF(ADSHANDLE hTable, UNSIGNED32 ulNumRecords,
                                  const UNSIGNED32* pulRecords, UNSIGNED16 usOption);
/* Whether record ulRecordNum (0: the current one) passes the AOF. */
VE_API UNSIGNED32 AdsIsRecordInAOF(ADSHANDLE hTable, UNSIGNED32 ulRecordNum, UNSIGNED16* pbIsInAOF);
/* Sets, reads and removes the plain filter, as for the AOF (ulOptions only VE_FILTER_UTF16). */
VE_API UNSIGNED32 AdsSetFilter100(ADSHANDLE hTable, const void* pvFilter, UNSIGNED32 ulOptions);
VE_API UNSIGNED32 AdsSetFilter(ADSHANDLE hTable, const UNSIGNED8* pucFilter);
VE_API UNSIGNED32 AdsGetFilter(ADSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen);
VE_API UNSIGNED32 AdsClearFilter(ADSHANDLE hTable);
/* Goes to the first (bForward 1) or last (0) shown record in the handle's order for which
 * the condition holds; *pbFound 0 leaves the handle on EOF (BOF backward). */
VE_API UNSIGNED32 AdsLocate(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16 bForward,
                            UNSIGNED16* pbFound);
/* Goes on from the current record to the next match of the last AdsLocate, in its direction.
 * VE_INVALID_ARGUMENT when the handle made no AdsLocate. */
VE_API UNSIGNED32 AdsContinue(ADSHANDLE hTable, UNSIGNED16* pbFound);

/* ---- Expressions ---------------------------------------------------------------------------
 * Expressions name the fields of the table and use the engine's date format. The exact
 * setting decides "=" between texts: on, whole values compared (trailing blanks ignored);
 * off (the start), the right-hand text as a prefix of the left. */

/* Evaluates on the current record (with its pending changes): a logical, numeric or any
 * expression as text. VE_INVALID_EXPRESSION (wrong type too), VE_EXPRESSION_FAILED,
 * VE_NO_CURRENT_RECORD on a crack. */
VE_API UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr,
                                     UNSIGNED16* pbResult);
VE_API UNSIGNED32 AdsEvalNumericExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr, double* pdResult);
VE_API UNSIGNED32 AdsEvalStringExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr,
                                    UNSIGNED8* pucResult, UNSIGNED16* pusLen);
/* The type of the expression's value (VE_EXPR_...), without evaluating it. */
VE_API UNSIGNED32 AdsEvalTestExpr(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16* pusType);
/* Whether the expression compiles against the table (no error either way). */
VE_API UNSIGNED32 AdsIsExprValid(ADSHANDLE hTable, const UNSIGNED8* pucExpr, UNSIGNED16* pbValid);
/* The handle's exact setting (index handles: their table's). */
VE_API UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bExact);
VE_API UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact);
/* The long form of an expression spells field names out; the short form writes each field as
 * "@n" (its number). Everything else is kept byte for byte (texts may be UTF-8), and long ->
 * short -> long gives an equivalent expression. *pulLen: capacity in, length out. */
VE_API UNSIGNED32 AdsExpressionLongToShort90(ADSHANDLE hTable, const UNSIGNED8* pucLongExpr,
                                             UNSIGNED8* pucShortExpr, UNSIGNED32* pulLen);
VE_API UNSIGNED32 AdsExpressionShortToLong90(ADSHANDLE hTable, const UNSIGNED8* pucShortExpr,
                                             UNSIGNED8* pucLongExpr, UNSIGNED32* pulLen);

/* ---- SQL statements and result cursors -------------------------------------------------- */
/* A statement belongs to a connection and runs SQL on the tables of its directory: each table
 * file is named as the file, with or without ".adt", in any letter case, quoted with double
 * quotes or brackets when needed. SQLite's dialect, with SELECT TOP n, CHAR columns compared
 * with trailing blanks ignored, CICHAR columns also without regard to case, dates, times and
 * timestamps as ISO texts ("2024-03-01", "13:45:00", "2024-03-01 13:45:00.250") that compare
 * and order as values, and the procedures sp_setapplicationid(id), sp_getapplicationid() and
 * (on a dictionary connection, the administrator's) sp_ModifyTableProperty(table,
 * 'TABLE_PRIMARY_KEY' or 'TABLE_DEFAULT_INDEX', index tag, validation, NULL), besides the
 * dictionary's own procedures (EXECUTE PROCEDURE name(arguments); see AdsDDCreateProcedure).
 * sp_ModifyTableProperty answers VE_DICTIONARY_ONLY (5132) on a free-table connection and for
 * a table the dictionary does not hold; a primary key needs a unique tag. INSERT, UPDATE and DELETE
 * go through the engine's write path (record locks, AutoInc, indexes); CREATE TABLE and DROP TABLE
 * make and remove table files. CREATE [UNIQUE] INDEX name ON table (column [ASC|DESC], ...) makes a
 * tag in the table's file (one column: the field; several: the fields separated by ";"; all DESC: a
 * descending tag; mixed directions are refused), DROP INDEX [table.]name deletes one (the
 * table open by nobody else). A text may hold several statements separated by ";".
 *
 * Parameter markers (":name", "?", "@name") are numbered over the text in order of
 * appearance, each occurrence its own number; a colon in a quoted literal and "::" are no
 * markers. The value setters (AdsSetString, AdsSetStringW, AdsSetField, AdsSetFieldW,
 * AdsSetLogical, AdsSetDouble, AdsSetLong, AdsSetShort, AdsSetJulian, AdsSetMilliseconds,
 * AdsSetDate, AdsSetTime, AdsSetTimeStampRaw, AdsSetBinary, AdsSetFieldRaw, AdsSetEmpty,
 * AdsSetNull) take a statement handle and ADSFIELD(n) for parameter n, or a marker name for
 * every marker of that name. A parameter not bound is null. Preparing again forgets them.
 *
 * Every SQL failure answers VE_SQL_ERROR (7200) with the text
 * "ERROR 7200: <kind>. NativeError = <n>; <explanation>"; the native numbers:
 *   2101 syntax, 2102 unknown table, 2103 unknown column, 2104 unknown function or procedure,
 *   2105 type mismatch, 2106 constraint (a unique index), 2107 lock refused, 2108 table in
 *   use, 2109 table exists, 2110 parameter, 2111 read-only, 2112 not supported, 2113 value out
 *   of range, 2114 ambiguous column, 2115 no statement prepared, 2116 other engine failure,
 *   2117 timeout, 2118 index exists, 2119 unknown index, 2120 ambiguous index name (DROP INDEX
 *   without a table, of a tag several tables have), 2121 a table name that is a path outside
 *   the connection's directory, 2199 other SQL error. Table names in SQL are names within the
 *   connection's directory: a statement reaches no file outside it.
 *
 * A query gives a cursor handle that every table call accepts (navigation, fields, record
 * images, counts, bookmarks, filters, indexes); AdsCloseTable closes it. A plain single-table
 * "SELECT * FROM t [WHERE ...] [ORDER BY ...]" gives the table's own records in the query's
 * order (live, and writable, unless read-only was asked); any other query a static copy of
 * its rows, read-only, whose fields take type and length from the source columns. */

/* A new statement on the connection. */
VE_API UNSIGNED32 AdsCreateSQLStatement(ADSHANDLE hConnect, ADSHANDLE* phStatement);
/* Takes the statement text (8-bit, or UTF-16) and checks it: syntax errors and unknown tables
 * and columns are answered here. */
VE_API UNSIGNED32 AdsPrepareSQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL);
VE_API UNSIGNED32 AdsPrepareSQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL);
/* Runs the prepared text with the bound parameters. *phCursor gets the result cursor of a
 * query, 0 when the text yields none (phCursor may be NULL: rows are then not kept). */
VE_API UNSIGNED32 AdsExecuteSQL(ADSHANDLE hStatement, ADSHANDLE* phCursor);
/* Prepares and runs in one call (parameters unbound: null). */
VE_API UNSIGNED32 AdsExecuteSQLDirect(ADSHANDLE hStatement, const UNSIGNED8* pucSQL,
                                      ADSHANDLE* phCursor);
VE_API UNSIGNED32 AdsExecuteSQLDirectW(ADSHANDLE hStatement, const WCHAR* pwcSQL,
                                       ADSHANDLE* phCursor);
/* Checks a text as AdsPrepareSQL does, without taking it. */
VE_API UNSIGNED32 AdsVerifySQL(ADSHANDLE hStatement, const UNSIGNED8* pucSQL);
VE_API UNSIGNED32 AdsVerifySQLW(ADSHANDLE hStatement, const WCHAR* pwcSQL);
/* Closes the statement; its cursors stay open. VE_STATEMENT_GONE (5106) for a statement
 * closed already, and for every call on a statement whose connection was closed. */
VE_API UNSIGNED32 AdsCloseSQLStatement(ADSHANDLE hStatement);
/* Accepts a statement text before the caller scans its parameters; leaves it unchanged (the
 * engine numbers the markers as that scan does). */
VE_API UNSIGNED32 AdsGetSQLStmtParams(UNSIGNED8* pucStatement);
/* Seconds a statement may run before it is interrupted (native error 2117); 0: no limit. On a
 * connection handle: the timeout of the statements created on it from now on. */
VE_API UNSIGNED32 AdsSetSQLTimeout(ADSHANDLE hObj, UNSIGNED32 ulTimeout);
/* Settings of a statement. Lock type (0, 1), rights (1, 2), constrained updates (1, 2) and
 * read-all-columns (1, 2) are remembered; table type (0 to 4) too (only ADT tables are
 * served); character type and collation are those of the tables CREATE TABLE makes;
 * read-only: 1 cursors cannot be modified, 2 a live cursor is asked for (0: the default, as
 * 2). */
VE_API UNSIGNED32 AdsStmtSetTableLockType(ADSHANDLE hStatement, UNSIGNED16 usLockType);
VE_API UNSIGNED32 AdsStmtSetTableCharType(ADSHANDLE hStatement, UNSIGNED16 usCharType);
VE_API UNSIGNED32 AdsStmtSetTableCollation(ADSHANDLE hStatement, const UNSIGNED8* pucCollation);
VE_API UNSIGNED32 AdsStmtSetTableRights(ADSHANDLE hStatement, UNSIGNED16 usCheckRights);
VE_API UNSIGNED32 AdsStmtSetTableReadOnly(ADSHANDLE hStatement, UNSIGNED16 usReadOnly);
VE_API UNSIGNED32 AdsStmtSetTableType(ADSHANDLE hStatement, UNSIGNED16 usTableType);
VE_API UNSIGNED32 AdsStmtConstrainUpdates(ADSHANDLE hStatement, UNSIGNED16 usConstrain);
VE_API UNSIGNED32 AdsStmtReadAllColumns(ADSHANDLE hStatement, UNSIGNED16 usReadColumns);
/* Encrypted tables are not supported: enabling and passwords answer VE_NOT_SUPPORTED;
 * disabling and clearing succeed. */
VE_API UNSIGNED32 AdsStmtEnableEncryption(ADSHANDLE hStatement, const UNSIGNED8* pucPassword);
VE_API UNSIGNED32 AdsStmtDisableEncryption(ADSHANDLE hStatement);
VE_API UNSIGNED32 AdsStmtSetTablePassword(ADSHANDLE hStatement, const UNSIGNED8* pucTableName,
                                          const UNSIGNED8* pucPassword);
VE_API UNSIGNED32 AdsStmtClearTablePasswords(ADSHANDLE hStatement);
/* Whether a result cursor is live (1: its records are the table's and edits reach it) or
 * static (0). */
VE_API UNSIGNED32 AdsSqlPeekStatement(ADSHANDLE hCursor, UNSIGNED16* pbLive);
/* On a statement handle: AdsGetRecordCount gives the rows the last execution inserted,
 * updated or deleted (VE_NO_ROW_COUNT, 5117, when it ran none of those); AdsGetLastAutoinc
 * the AutoInc value of its last inserted record. */

/* ---- Handles' own values, servers, clipboard, encryption ---------------------------------- */

/* A 32-bit value the caller keeps with any live handle (0 until set). */
VE_API UNSIGNED32 AdsGetHandleLong(ADSHANDLE hObj, UNSIGNED32* pulVal);
VE_API UNSIGNED32 AdsSetHandleLong(ADSHANDLE hObj, UNSIGNED32 ulVal);
/* The engine runs in the process: no server is ever loaded (*pbLoaded 0). */
VE_API UNSIGNED32 AdsIsServerLoaded(const UNSIGNED8* pucServer, UNSIGNED16* pbLoaded);
/* VE_NOT_SUPPORTED: there is no clipboard on this platform. */
VE_API UNSIGNED32 AdsImageToClipboard(ADSHANDLE hTable, const UNSIGNED8* pucFldName);
/* Encrypted tables are not supported: the questions answer "not encrypted" (0), the other
 * calls VE_NOT_SUPPORTED. */
VE_API UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted);
VE_API UNSIGNED32 AdsIsEncryptionEnabled(ADSHANDLE hTable, UNSIGNED16* pbEnabled);
VE_API UNSIGNED32 AdsIsRecordEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted);
VE_API UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, const UNSIGNED8* pucPassword);
VE_API UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable);
VE_API UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable);
VE_API UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable);
VE_API UNSIGNED32 AdsEncryptRecord(ADSHANDLE hTable);
VE_API UNSIGNED32 AdsDecryptRecord(ADSHANDLE hTable);

/* ---- Copies and conversions of tables, memo values and files ----------------------------- */

/* A new table file pucFile (in the connection's directory unless the name leads elsewhere;
 * ".adt" added when the name has no extension; an existing file nobody has open is replaced)
 * with the fields of the table and the records hObj shows under usFilterOption (as
 * AdsGetRecordCount counts them: VE_RESPECT_FILTERS what navigation shows, filters and the
 * optimised filter included), in hObj's order (an index handle: its key order). Record
 * contents, deleted flags and memo values are copied; index tags are not. The copy appears
 * whole or not at all. */
VE_API UNSIGNED32 AdsCopyTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption, const UNSIGNED8* pucFile);
/* AdsCopyTable into a table of type usTableType: VE_TABLE_TYPE_ADT (or 0); other types answer
 * VE_NOT_SUPPORTED. */
VE_API UNSIGNED32 AdsConvertTable(ADSHANDLE hObj, UNSIGNED16 usFilterOption,
                                  const UNSIGNED8* pucFile, UNSIGNED16 usTableType);
/* Appends the records hObjFrom shows (as AdsCopyTable) to the open table hTableTo: each field
 * of hTableTo takes the value of the source's field of the same name, converted where the two
 * differ as the field's setter takes a value (numbers to numbers, dates to dates and
 * timestamps, to and from texts through their text; a text is cut to the field, a number rounded
 * to it; a value the field cannot take stops the copy with VE_VALUE_NOT_CONVERTIBLE or
 * VE_VALUE_OUT_OF_RANGE naming the field and the source's record, those before it kept). Text
 * between an ANSI and an OEM table keeps its letters (recoded as reading it from one and setting
 * it into the other would; a character the target's code page lacks becomes '?'). Memo values go
 * between memo types only, their text converted alike (binary values keep their bytes); other
 * fields stay empty, and AutoInc, RowVersion and ModTime fields are filled by the engine. Progress
 * is reported while the records are read, before any is appended, so that a stop keeps nothing. */
VE_API UNSIGNED32 AdsCopyTableContents(ADSHANDLE hObjFrom, ADSHANDLE hTableTo,
                                       UNSIGNED16 usFilterOption);
/* A new, empty table file with the table's fields (pucFile as for AdsCopyTable). */
VE_API UNSIGNED32 AdsCopyTableStructure(ADSHANDLE hTable, const UNSIGNED8* pucFile);
/* Writes the current record's memo or binary value to the file pucFileName (replaced whole;
 * an empty value makes an empty file). */
VE_API UNSIGNED32 AdsBinaryToFile(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  const UNSIGNED8* pucFileName);
/* Makes the file's bytes the field's value in the record buffer (VE_BINARY_BINARY or
 * VE_BINARY_IMAGE); written by AdsWriteRecord like any change. */
VE_API UNSIGNED32 AdsFileToBinary(ADSHANDLE hTable, const UNSIGNED8* pucFldName,
                                  UNSIGNED16 usBinaryType, const UNSIGNED8* pucFileName);

/* ---- Progress and abort callbacks --------------------------------------------------------- */

/* Callbacks belong to the calling thread and are called on it, during that thread's own work.
 * Long work (AdsPackTable, AdsReindex, AdsReindex61, AdsCreateIndex90, AdsCopyTable,
 * AdsConvertTable, AdsCopyTableContents) calls the progress callback and the general callback
 * with the percent done: 0 when it starts, each new whole percent, 100 when done. An answer
 * other than 0 stops the work with VE_OPERATION_CANCELLED and keeps nothing of it (the table
 * is as before the call); the answer to 100 reported after the work is kept does not count.
 * SQL statements call the SQL-abort callback and the general callback (with percent 0) every
 * so often while they run; an answer other than 0 stops the statement with an SQL error.
 * A new registration replaces the previous one of its kind; the two forms of the general
 * callback are one kind. Registering NULL is the same as clearing. */
VE_API UNSIGNED32 AdsRegisterProgressCallback(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent));
VE_API UNSIGNED32 AdsClearProgressCallback(void);
VE_API UNSIGNED32 AdsRegisterSQLAbortFunc(UNSIGNED32 (*lpfnCallback)(void));
VE_API UNSIGNED32 AdsClearSQLAbortFunc(void);
VE_API UNSIGNED32 AdsRegisterCallbackFunction(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent,
                                                                         UNSIGNED32 ulCallbackID),
                                              UNSIGNED32 ulCallbackID);
VE_API UNSIGNED32 AdsRegisterCallbackFunction101(UNSIGNED32 (*lpfnCallback)(UNSIGNED16 usPercent,
                                                                            SIGNED64 qCallbackID),
                                                 SIGNED64 qCallbackID);
VE_API UNSIGNED32 AdsClearCallbackFunction(void);

/* ---- Data dictionaries -------------------------------------------------------------------
 *
 * A data dictionary is a file (name ending in ".add") that holds a database's users, their
 * groups, its tables with the rights each user or group has on them, and its properties. A
 * connection to it (AdsConnect101 with "Data Source=path.add;User ID=...;Password=...;") logs
 * in; its table calls then find tables by their names in the dictionary and enforce the rights:
 * no read right refuses the open, and a change without the right answers VE_PERMISSION_DENIED
 * with "Update permission not granted on this table." (or Insert, Delete, or "... on this
 * field: NAME."). AdsGetTableOpenOptions and AdsGetColumnPermissions tell the rights granted.
 * A table registered in a dictionary is bound to it: opened as a free table, or through
 * another dictionary, it answers VE_BOUND_TO_DICTIONARY. Passwords are kept only as salted
 * hashes, and no error text carries a password.
 *
 * The dictionary guards what users may do through this engine. Whoever can read the files
 * themselves can read the data in them: protecting the files is the operating system's
 * permissions' job (or an encryption's).
 *
 * Every dictionary has the user "Admin", who holds every right and alone may change the
 * dictionary (the others answer VE_PERMISSION_DENIED for changes). Names of users, groups and
 * tables are unique per kind without regard to case and hold neither ";" nor ":".
 * Every call below takes a connection to a dictionary and answers VE_DICTIONARY_ONLY (5132)
 * for another connection and for a name the dictionary does not hold. */

/* Object types (AdsDDFindFirstObject, AdsDDRenameObject). */
#define VE_DD_TABLE_OBJECT 1
#define VE_DD_USER_OBJECT 7
#define VE_DD_USER_GROUP_OBJECT 8
#define VE_DD_PROCEDURE_OBJECT 10
#define VE_DD_LINK_OBJECT 11
/* Rights on a table (bits); on a column only update and insert mean something. */
#define VE_DD_RIGHT_READ 1u
#define VE_DD_RIGHT_UPDATE 2u
#define VE_DD_RIGHT_INSERT 4u
#define VE_DD_RIGHT_DELETE 8u
/* Properties: of the database (16-bit versions, a text comment), of a user (text: the groups
 * joined by ";", a comment), of a table (texts). */
#define VE_DD_COMMENT 101
#define VE_DD_VERSION_MAJOR 111
#define VE_DD_VERSION_MINOR 112
#define VE_DD_TABLE_DEFAULT_INDEX 213
#define VE_DD_TABLE_PRIMARY_KEY 214
#define VE_DD_TABLE_PATH 215
#define VE_DD_USER_GROUP_MEMBERSHIP 1102
/* A user's failed log-ins since the last success (16 bits; setting 0 lifts a lockout), and the
 * seconds a lockout still lasts (32 bits, read only). */
#define VE_DD_USER_FAILED_LOG_INS 1103
#define VE_DD_USER_LOCKED_SECONDS 1104
#define VE_DD_PROC_PARAMETERS                                                              \
    1201                    /* a procedure's parameters, as AdsDDCreateProcedure took them \
                             */
#define VE_DD_PROC_SQL 1202 /* a procedure's body */

/* Creates a new dictionary file (which must not exist; VE_DICTIONARY_EXISTS) with the
 * administrator's password (not empty) and a comment, and connects to it as "Admin". */
VE_API UNSIGNED32 AdsDDCreate(const UNSIGNED8* pucDictionaryPath, const UNSIGNED8* pucAdminPassword,
                              const UNSIGNED8* pucDescription, ADSHANDLE* phConnect);
/* Users and groups. pucGroupName of AdsDDCreateUser: NULL or a group the user joins at once.
 * Deleting a user or group also drops the rights granted to it; "Admin" cannot be deleted. */
VE_API UNSIGNED32 AdsDDCreateUser(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                  const UNSIGNED8* pucUserName, const UNSIGNED8* pucPassword,
                                  const UNSIGNED8* pucDescription);
VE_API UNSIGNED32 AdsDDDeleteUser(ADSHANDLE hConnect, const UNSIGNED8* pucUserName);
VE_API UNSIGNED32 AdsDDSetUserPassword(ADSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                       const UNSIGNED8* pucPassword);
VE_API UNSIGNED32 AdsDDCreateUserGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                       const UNSIGNED8* pucDescription);
VE_API UNSIGNED32 AdsDDDeleteUserGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName);
VE_API UNSIGNED32 AdsDDAddUserToGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                      const UNSIGNED8* pucUserName);
VE_API UNSIGNED32 AdsDDRemoveUserFromGroup(ADSHANDLE hConnect, const UNSIGNED8* pucGroupName,
                                           const UNSIGNED8* pucUserName);
/* Registers an existing table file (path relative to the dictionary's folder, or absolute)
 * under a name and binds the file to the dictionary. A table made with AdsCreateTable90 on a
 * dictionary connection is registered under its file's base name unless ulOptions has
 * VE_CREATE_FREE_TABLE. AdsDDRemoveTable unbinds the file, or deletes it (usDeleteFiles 1). */
VE_API UNSIGNED32 AdsDDAddTable(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                const UNSIGNED8* pucTablePath);
VE_API UNSIGNED32 AdsDDRemoveTable(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                   UNSIGNED16 usDeleteFiles);
/* Grants or revokes rights (VE_DD_RIGHT_... bits) of a user or group on a table, or on one
 * column of it (pucColumnName not empty). A user has what is granted to the user and to each
 * of the user's groups; a column's own rights can only narrow the table's for that column. */
VE_API UNSIGNED32 AdsDDGrantPermission(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                       const UNSIGNED8* pucColumnName, const UNSIGNED8* pucGrantee,
                                       UNSIGNED32 ulPermissions);
VE_API UNSIGNED32 AdsDDRevokePermission(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                        const UNSIGNED8* pucColumnName, const UNSIGNED8* pucGrantee,
                                        UNSIGNED32 ulPermissions);
/* The rights a user (NULL: the connection's own; another user: the administrator only) has
 * on a table, or on one of its columns. */
VE_API UNSIGNED32 AdsDDGetPermissions(ADSHANDLE hConnect, const UNSIGNED8* pucTableName,
                                      const UNSIGNED8* pucColumnName, const UNSIGNED8* pucUserName,
                                      UNSIGNED32* pulPermissions);
/* Properties. A text property is written as 8-bit text; a NULL buffer (or one too small)
 * gets the length it needs, terminating zero included, and VE_BUFFER_TOO_SMALL; a property
 * without a value answers VE_DD_PROPERTY_NOT_SET (5138). A user reads their own user
 * properties; the administrator anyone's. */
VE_API UNSIGNED32 AdsDDGetDatabaseProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                           void* pvProperty, UNSIGNED16* pusPropertyLen);
VE_API UNSIGNED32 AdsDDSetDatabaseProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID,
                                           const void* pvProperty, UNSIGNED16 usPropertyLen);
VE_API UNSIGNED32 AdsDDGetUserProperty(ADSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                       UNSIGNED16 usPropertyID, void* pvProperty,
                                       UNSIGNED16* pusPropertyLen);
/* The administrator's: VE_DD_USER_FAILED_LOG_INS 0 (16 bits) lifts a user's lockout; any
 * other value or property is VE_INVALID_ARGUMENT. */
VE_API UNSIGNED32 AdsDDSetUserProperty(ADSHANDLE hConnect, const UNSIGNED8* pucUserName,
                                       UNSIGNED16 usPropertyID, const void* pvProperty,
                                       UNSIGNED16 usPropertyLen);
VE_API UNSIGNED32 AdsDDGetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                        UNSIGNED16 usPropertyID, void* pvProperty,
                                        UNSIGNED16* pusPropertyLen);
/* Sets a table's default index or primary key (an index tag name; empty clears it). */
VE_API UNSIGNED32 AdsDDSetTableProperty(ADSHANDLE hDictionary, const UNSIGNED8* pucTableName,
                                        UNSIGNED16 usPropertyID, const void* pvProperty,
                                        UNSIGNED16 usPropertyLen);
/* Renames a table of the dictionary (usObjectType VE_DD_TABLE_OBJECT; its file keeps its
 * name). ulOptions is reserved. */
VE_API UNSIGNED32 AdsDDRenameObject(ADSHANDLE hDictionary, const UNSIGNED8* pucObjectName,
                                    const UNSIGNED8* pucNewObjectName, UNSIGNED16 usObjectType,
                                    UNSIGNED32 ulOptions);
/* Lists the names of one kind of object in name order (users of one group when
 * pucParentName names it). The first name comes with the find handle; VE_DD_NO_MORE_OBJECTS
 * (5137) ends the list (from the first call for an empty list, with no handle made).
 * AdsDDFindClose frees the handle. */
VE_API UNSIGNED32 AdsDDFindFirstObject(ADSHANDLE hConnect, UNSIGNED16 usFindObjectType,
                                       const UNSIGNED8* pucParentName, UNSIGNED8* pucObjectName,
                                       UNSIGNED16* pusObjectNameLen, ADSHANDLE* phFindHandle);
VE_API UNSIGNED32 AdsDDFindNextObject(ADSHANDLE hConnect, ADSHANDLE hFindHandle,
                                      UNSIGNED8* pucObjectName, UNSIGNED16* pusObjectNameLen);
VE_API UNSIGNED32 AdsDDFindClose(ADSHANDLE hConnect, ADSHANDLE hFindHandle);

/* Procedures, run by "EXECUTE PROCEDURE name(arguments)" on a connection to the dictionary.
 * pucParameters names the parameters and their types as the field text of AdsCreateTable90
 * does ("Codigo,Char,20;Qtde,Integer;", empty for none); the body pucSQL is one or more
 * queries, changes of rows and procedure calls separated by ";", in which ":Codigo" stands for
 * that parameter's argument. A number parameter reads a text argument as a number, a text
 * parameter takes a number as its text. The body runs with the rights of the user who calls
 * it, as one statement (a failure leaves every row as it was); its last query gives the
 * cursor. A call with another number of arguments than the procedure has parameters, and any
 * failure in the body, is an SQL error (7200) naming the procedure. Creating and deleting
 * procedures is the administrator's; reading their properties (VE_DD_PROC_PARAMETERS,
 * VE_DD_PROC_SQL, VE_DD_COMMENT) anyone's. */
VE_API UNSIGNED32 AdsDDCreateProcedure(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                       const UNSIGNED8* pucParameters, const UNSIGNED8* pucSQL,
                                       const UNSIGNED8* pucComments);
VE_API UNSIGNED32 AdsDDDeleteProcedure(ADSHANDLE hConnect, const UNSIGNED8* pucName);
VE_API UNSIGNED32 AdsDDGetProcedureProperty(ADSHANDLE hConnect, const UNSIGNED8* pucName,
                                            UNSIGNED16 usPropertyID, void* pvProperty,
                                            UNSIGNED16* pusPropertyLen);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VARELUM_ENGINE_H */
