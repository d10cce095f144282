#pragma once
// The world platform's client interface: the calls, attribute, callback and
// event numbers and reason codes the builder bot relies on. Our own library
// (aw_sdk.cpp, a TCP client of gorvale-world) implements it; every caller
// uses these functions only, so the platform's own library could take its
// place by relinking.
//
// Threading: one thread calls the library. Callbacks and event handlers run
// only inside aw_wait, on that thread; they must not call aw_wait.
// Every function returns a reason code (0 = success) unless noted.

#ifdef __cplusplus
extern "C" {
#endif

// Attributes by number. Values set with aw_int_set / aw_string_set apply to
// the next request; values read with aw_int / aw_bool / aw_string belong to
// the request, callback or event in hand.
typedef enum {
    AW_LOGIN_NAME = 0,                // bot name
    AW_LOGIN_OWNER = 2,               // login citizen number
    AW_LOGIN_PRIVILEGE_PASSWORD = 3,  // privilege password
    AW_LOGIN_APPLICATION = 6,         // application name
    AW_CELL_X = 224,                  // event AW_EVENT_CELL_BEGIN
    AW_CELL_Z = 225,
    AW_CELL_SEQUENCE = 226,
    AW_OBJECT_NUMBER = 231,           // unique within its cell
    AW_OBJECT_X = 232,                // cm, growing westward
    AW_OBJECT_Y = 233,                // cm, upward
    AW_OBJECT_Z = 234,                // cm, growing northward
    AW_OBJECT_YAW = 235,              // tenths of a degree
    AW_OBJECT_TILT = 236,
    AW_OBJECT_ROLL = 237,
    AW_OBJECT_MODEL = 238,
    AW_OBJECT_DESCRIPTION = 239,
    AW_OBJECT_ACTION = 240,
    AW_OBJECT_OWNER = 244,            // aw_object_load and cell-object events
    AW_OBJECT_BUILD_TIMESTAMP = 246,  // seconds since 1970; 0 = now
    AW_QUERY_COMPLETE = 250,          // boolean, with AW_CALLBACK_QUERY
    AW_TERRAIN_VERSION_NEEDED = 327,  // 2: 32-bit heights, 16-bit textures
    AW_MAX_ATTRIBUTE = 328
} AW_ATTRIBUTE;

// Callbacks: the answer to a queued request, called with its reason code.
typedef enum {
    AW_CALLBACK_OBJECT_RESULT = 3,  // object add, load and delete
    AW_CALLBACK_QUERY = 8,          // end of one answer to aw_query
    AW_MAX_CALLBACK = 9
} AW_CALLBACK;

// Events: called once per cell and once per object of a query answer.
typedef enum {
    AW_EVENT_CELL_BEGIN = 3,
    AW_EVENT_CELL_OBJECT = 4,
    AW_MAX_EVENT = 5
} AW_EVENT_ATTRIBUTE;

// Reason codes: the platform's numbers.
typedef enum {
    RC_SUCCESS = 0,
    RC_CITIZENSHIP_EXPIRED = 1,
    RC_NO_SUCH_CITIZEN = 3,
    RC_MESSAGE_LENGTH_BAD = 4,
    RC_LICENSE_PASSWORD_CONTAINS_SPACE = 5,
    RC_LICENSE_PASSWORD_TOO_LONG = 6,
    RC_LICENSE_PASSWORD_TOO_SHORT = 7,
    RC_LICENSE_RANGE_TOO_LARGE = 8,
    RC_LICENSE_RANGE_TOO_SMALL = 9,
    RC_LICENSE_USERS_TOO_LARGE = 10,
    RC_LICENSE_USERS_TOO_SMALL = 11,
    RC_LICENSE_WORLD_CONTAINS_SPACE = 12,
    RC_INVALID_PASSWORD = 13,
    RC_UNABLE_TO_MAIL_BACK_NUMBER = 14,
    RC_LICENSE_WORLD_TOO_SHORT = 15,
    RC_LICENSE_WORLD_TOO_LONG = 16,
    RC_SERVER_OUT_OF_MEMORY = 17,
    RC_WORLD_NOT_RUNNING = 27,
    RC_NOT_LOGGED_IN = 31,
    RC_UNAUTHORIZED = 32,
    RC_ALREADY_LICENSED = 33,
    RC_NO_SUCH_LICENSE = 34,
    RC_IDENTITY_ALREADY_IN_USE = 39,
    RC_UNABLE_TO_REPORT_LOCATION = 40,
    RC_INVALID_EMAIL = 41,
    RC_NO_SUCH_ACTING_CITIZEN = 42,
    RC_ACTING_PASSWORD_INVALID = 43,
    RC_MUST_UPGRADE = 58,
    RC_BOT_LIMIT_EXCEEDED = 59,
    RC_LICENSE_STARTS_WITH_NUMBER = 64,
    RC_NO_SUCH_EJECTION = 66,
    RC_NO_SUCH_SESSION = 67,
    RC_EMAIL_CONTAINS_INVALID_CHAR = 100,
    RC_EMAIL_ENDS_WITH_BLANK = 101,
    RC_EMAIL_MISSING_DOT = 102,
    RC_EMAIL_MISSING_AT = 103,
    RC_EMAIL_STARTS_WITH_BLANK = 104,
    RC_EMAIL_TOO_LONG = 105,
    RC_EMAIL_TOO_SHORT = 106,
    RC_NAME_ALREADY_USED = 107,
    RC_NAME_CONTAINS_INVALID_CHAR = 108,
    RC_NAME_CONTAINS_INVALID_BLANK = 109,
    RC_NAME_DOESNT_EXIST = 110,
    RC_NAME_ENDS_WITH_BLANK = 111,
    RC_NAME_TOO_LONG = 112,
    RC_NAME_TOO_SHORT = 113,
    RC_NAME_UNUSED = 114,
    RC_PASSWORD_TOO_LONG = 115,
    RC_PASSWORD_TOO_SHORT = 116,
    RC_PASSWORD_IS_WRONG = 117,
    RC_NUMBER_ALREADY_USED = 126,
    RC_NUMBER_OUT_OF_RANGE = 127,
    RC_PRIVILEGE_PASSWORD_IS_TOO_SHORT = 128,
    RC_NOT_CHANGE_OWNER = 203,
    RC_CANT_FIND_OLD_ELEMENT = 204,
    RC_CANT_CHANGE_OWNER = 211,
    RC_CANT_BUILD_HERE = 216,
    RC_NOT_ALLOWED = 232,
    RC_ENCROACHES = 300,
    RC_NO_SUCH_OBJECT = 301,
    RC_NOT_DELETE_OWNER = 302,
    RC_TOO_MANY_BYTES = 303,
    RC_UNREGISTERED_OBJECT = 306,
    RC_ELEMENT_ALREADY_EXISTS = 308,
    RC_NO_BUILD_RIGHTS = 310,
    RC_OUT_OF_BOUNDS = 311,
    RC_RESTRICTED_OBJECT = 313,
    RC_RESTRICTED_AREA = 314,
    RC_OUT_OF_MEMORY = 400,
    RC_NOT_YET = 401,
    RC_TIMEOUT = 402,
    RC_NULL_POINTER = 403,
    RC_UNABLE_TO_CONTACT_UNIVERSE = 404,
    RC_UNABLE_TO_CONTACT_WORLD = 405,
    RC_INVALID_WORLD_NAME = 406,
    RC_SEND_FAILED = 415,
    RC_RECEIVE_FAILED = 416,
    RC_STREAM_EMPTY = 421,
    RC_STREAM_MESSAGE_TOO_LONG = 422,
    RC_WORLD_NAME_TOO_LONG = 423,
    RC_MESSAGE_TOO_LONG = 426,
    RC_UNABLE_TO_CONNECT = 429,
    RC_NO_CONNECTION = 439,
    RC_UNABLE_TO_INITIALIZE_NETWORK = 442,
    RC_INCORRECT_MESSAGE_LENGTH = 443,
    RC_NOT_INITIALIZED = 444,
    RC_NO_INSTANCE = 445,
    RC_OUT_BUFFER_FULL = 446,
    RC_INVALID_CALLBACK = 447,
    RC_INVALID_ATTRIBUTE = 448,
    RC_TYPE_MISMATCH = 449,
    RC_STRING_TOO_LONG = 450,
    RC_READ_ONLY = 451,
    RC_INVALID_INSTANCE = 453,
    RC_VERSION_MISMATCH = 454,
    RC_IN_BUFFER_FULL = 461,
    RC_PROTOCOL_ERROR = 463,
    RC_QUERY_IN_PROGRESS = 464,
    RC_EJECTED = 466,
    RC_NOT_WELCOME = 467,
    RC_CONNECTION_LOST = 471,
    RC_NOT_AVAILABLE = 474,
    RC_LICENSE_ERROR = 518
} AW_REASON;

// The build number this program is written against.
#define AW_BUILD 63

// Longest text an attribute holds (model, description, action, names).
#define AW_MAX_ATTRIBUTE_STRING 255

// Most cells one aw_terrain_set call may carry.
#define AW_MAX_TERRAIN_COUNT 1000

typedef void (*AW_CALLBACK_FUNCTION)(int rc);
typedef void (*AW_EVENT_HANDLER)(void);

// Starts the library; 0 when it is usable. Call once at program start.
int aw_init(int build);
// Releases the library at program end.
void aw_term(void);

// Creates the one instance and connects it to the universe at host:port.
// The instance pointer may be null. A server that cannot be reached is
// reported by aw_login (RC_UNABLE_TO_CONTACT_UNIVERSE).
int aw_create(const char* domain, int port, void** instance);
// Ends the instance's connection and discards its queued answers.
int aw_destroy(void);

// Logs in with AW_LOGIN_OWNER, AW_LOGIN_PRIVILEGE_PASSWORD,
// AW_LOGIN_APPLICATION and AW_LOGIN_NAME. Waits for the answer (bounded).
int aw_login(void);
// Enters the named world. Waits for the answer (bounded).
int aw_enter(const char* world);

// Waits up to `milliseconds` (0: only what is queued), delivering answers
// and events to the installed handlers on the calling thread.
int aw_wait(int milliseconds);

int aw_int_set(AW_ATTRIBUTE a, int value);
int aw_bool_set(AW_ATTRIBUTE a, int value);
int aw_string_set(AW_ATTRIBUTE a, const char* value);  // copied; longer texts are refused
int aw_int(AW_ATTRIBUTE a);
int aw_bool(AW_ATTRIBUTE a);
// Valid until the next call of the library; never null (empty when unset).
char* aw_string(AW_ATTRIBUTE a);

// Installs (or with null removes) a handler. With AW_CALLBACK_OBJECT_RESULT
// installed, object requests return once sent and answer through it;
// without it they wait for the answer and return its code.
int aw_callback_set(AW_CALLBACK c, AW_CALLBACK_FUNCTION callback);
int aw_event_set(AW_EVENT_ATTRIBUTE a, AW_EVENT_HANDLER handler);

// Object requests. aw_object_add reads AW_OBJECT_X .. AW_OBJECT_ACTION;
// aw_object_load also AW_OBJECT_OWNER and AW_OBJECT_BUILD_TIMESTAMP (needs
// the world's eminent-domain right); aw_object_delete reads
// AW_OBJECT_NUMBER, AW_OBJECT_X and AW_OBJECT_Z. The object number is
// readable with aw_int(AW_OBJECT_NUMBER) right after a successful add or
// load, and again in the result callback.
int aw_object_add(void);
int aw_object_load(void);
int aw_object_delete(void);

// Asks for the objects of the 3 x 3 sectors around (x_sector, z_sector);
// sequence[z][x] holds the newest cell sequence known per sector (0: all).
// Answers through AW_EVENT_CELL_BEGIN, AW_EVENT_CELL_OBJECT and then
// AW_CALLBACK_QUERY with AW_QUERY_COMPLETE; not complete means: ask again
// with the sequence numbers seen.
int aw_query(int x_sector, int z_sector, int sequence[3][3]);
// The sector holding a cell: floor((cell + 4) / 8). Returns the sector, not a code.
int aw_sector_from_cell(int cell);

// Sets `count` terrain cells from cell (x, z) westward (+x) to the heights
// (cm), each with `texture`. Needs eminent domain. Waits for the answer.
int aw_terrain_set(int x, int z, int count, int texture, int* heights);
// Removes all of the world's terrain. Needs eminent domain. Waits for the answer.
int aw_terrain_delete_all(void);

#ifdef __cplusplus
}
#endif
