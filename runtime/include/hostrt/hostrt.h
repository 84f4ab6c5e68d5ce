/* The host runtime's interface: every operation that a plug-in or an
 * application calls, with C linkage and C types only.
 *
 * Calling convention: a function gets a result item, an argument count and
 * the arguments, and writes its result into the result item; a message send
 * counts the receiver as its first argument.
 *
 * Errors. When an operation cannot do its work it hands an error to the
 * process-wide error handler at the point of failure. The handler either
 * resumes (the operation yields the handler's value and returns normally) or
 * unwinds. An unwind in progress is state of the calling thread, never an
 * exception: the operation returns with it set and rtIsError() true, and every
 * caller passes it on by returning at once, releasing what it holds. A method
 * or class function that finds it set after a call returns too; the runtime
 * carries it on to the method's caller. The outermost caller ends it with
 * rtTakeError, which hands over the error.
 *
 * Nothing here throws, and nothing that the runtime calls (methods, class
 * functions, load handlers, error handlers) may let an exception reach it.
 *
 * This header compiles as C11 and as C++; the C++ conveniences (hostrt/item.h,
 * hostrt/object.h, ...) are inline code built on it. In C++ the item type is
 * hostrt::Item, whose layout is RtItemData.
 *
 * Thread safety: each operation is as safe as the one it performs; see the
 * groups below. Unwind state and frames belong to the calling thread. */
#ifndef HOSTRT_HOSTRT_H
#define HOSTRT_HOSTRT_H

#include <stddef.h>
#include <stdint.h>

#include "hostrt/export.h"

/* Item kinds. */
enum {
  RT_NIL = 0,
  RT_LOGICAL = 1,
  RT_INTEGER = 2,
  RT_FLOAT = 3,
  RT_STRING_REF = 4,    /* string held by pointer: static bytes or a shared heap buffer */
  RT_STRING_INLINE = 5, /* short string held inside the item */
  RT_ARRAY = 6,
  RT_OBJECT = 7,
  RT_KIND_COUNT = 8
};

#define RT_INLINE_CAPACITY 14

/* The layout of an item: 16 bytes, its value at offset 8. Storage of heap
 * strings, arrays and objects is the runtime's own; reach it through the
 * operations below. A short string (RT_STRING_INLINE) holds its bytes in the
 * 14 bytes from offset 2 on (head, length and u.tail); rtStringBytes gives
 * them. */
typedef struct RtItemData {
  uint8_t kind;             /* RT_NIL ... RT_OBJECT */
  uint8_t loaded : 1;       /* 1 once the item has its kind's operation table (a literal gets it at load) */
  uint8_t inlineLength : 7; /* RT_STRING_INLINE: how many bytes the string holds; 0 otherwise */
  uint8_t head[2];          /* RT_STRING_INLINE: the string's bytes 0-1; 0 otherwise */
  uint32_t length;          /* RT_STRING_REF: length of the static bytes, 0 for a heap buffer;
                               RT_STRING_INLINE: the string's bytes 2-5 */
  union {
    uint8_t logical;     /* 0 or 1 */
    int64_t integer;
    double real;
    const char* bytes;   /* RT_STRING_REF with a length: the static bytes */
    void* buffer;        /* RT_STRING_REF with length 0: the runtime's heap buffer */
    void* array;         /* the runtime's array storage */
    void* object;        /* the runtime's object */
    char tail[8];        /* RT_STRING_INLINE: the string's bytes 6-13 */
  } u;
} RtItemData;

/* Registry flags of members and methods. */
enum {
  RT_ACCESS_INTERNAL = 0x1,
  RT_ACCESS_PUBLIC = 0x3,
  RT_METHOD_CLASS_LEVEL = 0x20,
  RT_METHOD_ABSTRACT = 0x80,
  RT_MEMBER = 0x100,
  RT_MEMBER_CLASS_LEVEL = 0x200
};

/* Frame kinds. */
enum { RT_FRAME_CLASS_FUNCTION = 0, RT_FRAME_INSTANCE_METHOD = 1, RT_FRAME_CLASS_METHOD = 0x401 };

/* Error codes. */
enum {
  RT_ERROR_WRONG_KIND = 1,       /* an operand or argument of the wrong kind */
  RT_ERROR_BOUND = 2,            /* array index out of bounds */
  RT_ERROR_NO_METHOD = 3,        /* no method of that name */
  RT_ERROR_NO_MEMBER = 4,        /* no member of that name */
  RT_ERROR_ACCESS = 5,           /* an internal member or method used from outside its class */
  RT_ERROR_ABSTRACT = 6,         /* an abstract method that nothing implements */
  RT_ERROR_NOT_LOADED = 7,       /* a literal item used before its library was loaded */
  RT_ERROR_CLASS_DEFINITION = 8, /* a class could not be defined */
  RT_ERROR_NO_FUNCTION = 9,      /* no public function of that name */
  RT_ERROR_ARGUMENT = 10,        /* an argument value out of range */
  RT_ERROR_INTERNAL = 11,        /* the runtime or a library failed inside (out of memory, ...) */
  RT_ERROR_USER = 100            /* raised by library code for its own reasons */
};

#ifdef __cplusplus
namespace hostrt {
class Item;
class Name;
class Class;
}  // namespace hostrt
typedef hostrt::Item RtItem;
typedef hostrt::Name RtName;
typedef hostrt::Class RtClass;
#else
typedef RtItemData RtItem;
/* A member or method name; symbol caches its interned form, 0 until first use. */
typedef struct RtName {
  const char* text;
  uint32_t symbol;
} RtName;
typedef struct RtClass RtClass;
#endif

typedef struct RtError RtError;             /* an error; reference-counted */
typedef struct RtHandlerRef RtHandlerRef;   /* an installed error handler, held */

/* A runtime function, class function or method implementation. */
typedef void (*RtFunction)(RtItem* result, int argc, const RtItem* argv);

/* The operation table of one kind; the runtime exports one per kind. */
typedef struct RtItemOps {
  uint8_t kind;                        /* the kind this table serves */
  const char* name;                    /* the kind's name in messages ("string", ...) */
  void (*retain)(const RtItem* item);  /* take one more reference to the item's storage */
  void (*release)(RtItem* item);       /* drop the item's reference to its storage */
} RtItemOps;

/* A frame record, one per running class function or method. */
typedef struct RtFrame {
  int kind;                   /* RT_FRAME_... */
  const char* procedure;      /* "@VELMORANORDER@I@SEND", or a class function's public name */
  int line;                   /* line of the statement being executed */
  const void* context;        /* the method being run, as the runtime dispatched it */
  const RtClass* owner;       /* class whose code runs in this frame, null for none */
  struct RtFrame* previous;   /* the next frame out on this thread */
} RtFrame;

/* The module record a library hands to rtModuleInsert (see hostrt/module.h). */
typedef struct RtModuleRecord {
  uintptr_t words[12];
} RtModuleRecord;

typedef int (*RtLoadHandler)(uint32_t);

/* In C++ the operations are declared in namespace hostrt (still with C linkage). */
#ifdef __cplusplus
namespace hostrt {
extern "C" {
#endif

/* ---- Items. Not synchronised: share an item between threads read-only. */
HOSTRT_API extern const RtItemOps rtItemOps[RT_KIND_COUNT];
/* Gives a literal item its kind's operation table; the load handler calls it. */
HOSTRT_API void rtInitLiteral(RtItem* item);
/* Raises the error for a literal used before its library was loaded. */
HOSTRT_API void rtNotLoaded(const char* operation);
HOSTRT_API void rtNewString(RtItem* result, const char* bytes, size_t len);
/* The bytes of a string item and their count (NUL bytes allowed). */
HOSTRT_API const char* rtStringBytes(const RtItem* item, size_t* len);
/* Appends in place; amortised constant time when the buffer is not shared. */
HOSTRT_API void rtAppendBytes(RtItem* target, const char* bytes, size_t len);
/* A new array holding copies of the count items. */
HOSTRT_API void rtNewArray(RtItem* result, int count, const RtItem* elements);
/* As rtNewArray, but takes the count items over and leaves each of them nil. */
HOSTRT_API void rtNewArrayTaking(RtItem* result, int count, RtItem* elements);
/* Appends the element to the array in place, amortised constant time, and
   leaves the element nil; an error when the target is not an array. */
HOSTRT_API void rtArrayAppendTaking(RtItem* array, RtItem* element);
HOSTRT_API int rtArrayLength(const RtItem* array);
/* Element i (1-based) without a bound check error: nil when out of range. */
HOSTRT_API void rtArrayAt(RtItem* result, const RtItem* array, int index);

/* ---- Operations on items. line: the caller's source line, recorded in the
 * innermost frame first (0 leaves it). Comparisons and truth yield 0 or 1. */
HOSTRT_API void rtNoteLine(int line);
HOSTRT_API void rtAssign(RtItem* target, const RtItem* source);
HOSTRT_API void rtAdd(RtItem* result, const RtItem* a, const RtItem* b, int line);
HOSTRT_API void rtAppendInPlace(RtItem* target, const RtItem* tail, int line);
HOSTRT_API void rtIncrement(RtItem* target, int line);
HOSTRT_API int rtEqual(const RtItem* a, const RtItem* b, int line);
HOSTRT_API int rtLessOrEqual(const RtItem* a, const RtItem* b, int line);
HOSTRT_API int rtGreater(const RtItem* a, const RtItem* b, int line);
HOSTRT_API int rtExactlyEqual(const RtItem* a, const RtItem* b);
HOSTRT_API void rtNot(RtItem* result, const RtItem* operand);
HOSTRT_API void rtGetElement(RtItem* result, const RtItem* array, const RtItem* index);
HOSTRT_API int rtIsTrue(const RtItem* a, int line);

/* ---- Class registry and objects (hostrt/object.h). */
HOSTRT_API uint32_t rtInternName(const char* text, size_t len);
/* Writes the size bytes of text to out with ASCII letters in lower case (how
 * the runtime matches names); every other byte is kept. out may be text.
 * Programs that match names as the runtime does (the command-line host
 * reading an order file) fold them with this rather than a copy of the rule. */
HOSTRT_API void rtFoldCase(const char* text, size_t size, char* out);
HOSTRT_API void rtClassLock(void);
HOSTRT_API void rtClassUnlock(void);
HOSTRT_API RtClass* rtFindClass(const char* name);
HOSTRT_API RtClass* rtCreateClass(const char* name, int instanceMembers, int allMembers,
                                  int methods, int superCount, RtClass* const* supers, int,
                                  int, int);
HOSTRT_API void rtDefineMember(RtClass* cls, const char* name, uint32_t flags);
HOSTRT_API void rtDefineMethod(RtClass* cls, const char* name, RtFunction impl, uint32_t flags);
HOSTRT_API void rtEndClassDefinition(RtClass* cls);
HOSTRT_API void rtRegisterClass(RtClass* cls);
HOSTRT_API void rtCallInitClass(RtClass* cls);
HOSTRT_API void rtReturnObject(RtItem* result, RtClass* cls);
HOSTRT_API void rtSend(RtItem* result, const RtName* message, int argc, const RtItem* argv);
HOSTRT_API void rtGetMember(RtItem* result, const RtItem* object, const RtName* member);
HOSTRT_API void rtSetMember(const RtItem* object, const RtName* member, const RtItem* value);
HOSTRT_API RtClass* rtClassOf(const RtItem* object);
HOSTRT_API RtClass* rtSelfClass(void);
HOSTRT_API RtItem* rtNewNil(void);
HOSTRT_API void rtRelease(RtItem* item);
HOSTRT_API void rtNewInstance(RtItem* result, RtClass* cls, int argc, const RtItem* argv);
HOSTRT_API const char* rtClassName(const RtClass* cls);

/* ---- Frames. */
HOSTRT_API void rtFrameEnter(RtFrame* frame);
HOSTRT_API void rtFrameExit(RtFrame* frame);
HOSTRT_API RtFrame* rtCurrentFrame(void);
HOSTRT_API void rtBindParameters(const RtItem** slots, int count, int argc, const RtItem* argv,
                                 const RtItem* nil);
HOSTRT_API void rtReturnItem(RtItem* result, const RtItem* value);
HOSTRT_API void rtReturnNil(RtItem* result);

/* ---- Errors and unwinding. */
/* True while an unwind is under way on this thread. */
HOSTRT_API int rtIsError(void);
/* Ends the unwind under way and hands over its error (null when none). */
HOSTRT_API RtError* rtTakeError(void);
/* Starts (or carries on) an unwind with the error, whose reference it takes. */
HOSTRT_API void rtUnwind(RtError* error);
/* Builds an error about an operation and its operands, fills in the innermost
 * frame's procedure and line and hands it to the handler: on resume the
 * handler's value is in *result; otherwise an unwind is under way. An
 * RT_ERROR_INTERNAL error is never resumed. */
HOSTRT_API void rtRaiseError(RtItem* result, int code, const char* description,
                             const char* operation, int argc, const RtItem* argv);
HOSTRT_API RtError* rtErrorRetain(RtError* error);
HOSTRT_API void rtErrorRelease(RtError* error);
HOSTRT_API int rtErrorCode(const RtError* error);
HOSTRT_API const char* rtErrorDescription(const RtError* error);
HOSTRT_API const char* rtErrorOperation(const RtError* error);
HOSTRT_API const char* rtErrorProcedure(const RtError* error); /* "" outside any frame */
HOSTRT_API int rtErrorLine(const RtError* error);
HOSTRT_API int rtErrorResumable(const RtError* error);
HOSTRT_API int rtErrorArgumentCount(const RtError* error);
HOSTRT_API void rtErrorArgument(RtItem* result, const RtError* error, int index); /* 0-based */

/* An error handler: returns 1 to resume with *value, 0 to unwind. It must
 * not unwind itself. */
typedef int (*RtErrorHandler)(void* user, const RtError* error, RtItem* value);
/* Installs a handler (null: the default, which unwinds) with the user data it
 * is called with; dispose(user), when not null, runs once no raise uses the
 * handler any more. Returns the replaced handler, held for the caller (null
 * for the default): give it to rtRestoreErrorHandler or rtReleaseHandler. */
HOSTRT_API RtHandlerRef* rtSetErrorHandler(RtErrorHandler handler, void* user,
                                           void (*dispose)(void*));
/* Installs a handler that rtSetErrorHandler returned, taking the caller's hold. */
HOSTRT_API RtHandlerRef* rtRestoreErrorHandler(RtHandlerRef* handler);
HOSTRT_API void rtReleaseHandler(RtHandlerRef* handler);
HOSTRT_API RtHandlerRef* rtRetainHandler(RtHandlerRef* handler);

/* ---- Functions for strings, arrays and files (hostrt/functions.h). */
HOSTRT_API void PADR(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void STRZERO(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void STRTRAN(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void LEN(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void EMPTY(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void CHR(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void ACREATE(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FERASE(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FCREATE(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FCREATETEMP(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FWRITE(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FCLOSE(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FCOMMIT(RtItem* result, int argc, const RtItem* argv);
HOSTRT_API void FERROR(RtItem* result, int argc, const RtItem* argv);
/* The clipboard class (hostrt/clipboard.h). */
HOSTRT_API void SYSCLIPBOARD(RtItem* result, int argc, const RtItem* argv);

/* ---- Module registration (hostrt/module.h). */
HOSTRT_API int rtRequireVersion_2_00(void);
HOSTRT_API int rtModuleInsert(const RtModuleRecord* record);
HOSTRT_API int rtModuleRemove(const RtModuleRecord* record);
HOSTRT_API int rtModuleCount(void);
HOSTRT_API const RtModuleRecord* rtModuleAt(int index);

/* ---- The public function registry (hostrt/functions.h). */
HOSTRT_API void rtRegisterFunction(const char* publicName, RtFunction fn);
HOSTRT_API void rtUnregisterFunction(const char* publicName, RtFunction fn);
HOSTRT_API RtFunction rtFindFunction(const char* publicName);

/* ---- The embedding API (hostrt/embed.h): the application's path. Names
 * are NUL-terminated; texts come back as string items. */
/* Loads a library for the life of the process: 1, or 0 with the system's
 * reason in *error. */
HOSTRT_API int rtLoadLibrary(const char* path, RtItem* error);
#if defined(_WIN32)
/* As rtLoadLibrary, with the path and the reason in UTF-8 whatever the
 * application's code page: for a path that code page cannot hold. */
HOSTRT_API int rtLoadLibraryUtf8(const char* path, RtItem* error);
#endif
HOSTRT_API void rtCallFunction(RtItem* result, const char* publicName, int argc,
                               const RtItem* argv);
/* Sends by name; argv[0] is the receiver. */
HOSTRT_API void rtSendNamed(RtItem* result, const char* message, int argc, const RtItem* argv);
HOSTRT_API void rtGetMemberNamed(RtItem* result, const RtItem* object, const char* member);
HOSTRT_API void rtSetMemberNamed(const RtItem* object, const char* member, const RtItem* value);
/* The public members a class object declares, in declaration order: "a,b,c". */
HOSTRT_API void rtPublicMemberNames(RtItem* result, const RtItem* classObject);
HOSTRT_API void rtClipboardText(RtItem* result);
HOSTRT_API uint64_t rtClipboardFailures(void);
HOSTRT_API void rtSetCodePage(uint32_t codePage);
HOSTRT_API uint32_t rtCodePage(void);

/* ---- Privileged inspection for tests and diagnostic tools (hostrt/inspect.h). */
HOSTRT_API void rtInspectSend(RtItem* result, const char* message, int argc,
                              const RtItem* argv);
HOSTRT_API void rtInspectGetMember(RtItem* result, const RtItem* object, const char* member);
HOSTRT_API void rtInspectSetMember(const RtItem* object, const char* member,
                                   const RtItem* value);
HOSTRT_API unsigned rtInspectMemberFlags(const RtItem* classObject, const char* member);
HOSTRT_API unsigned rtInspectMethodFlags(const RtItem* classObject, const char* method);
HOSTRT_API void rtInspectMemberNames(RtItem* result, const RtItem* classObject);
HOSTRT_API void rtInspectMethodNames(RtItem* result, const RtItem* classObject);
HOSTRT_API void rtInspectFailNextMethodDefinition(const char* className);

#ifdef __cplusplus
}  /* extern "C" */
}  /* namespace hostrt */
#endif

#endif /* HOSTRT_HOSTRT_H */
