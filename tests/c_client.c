/* An application written in C: it loads the plug-in through the runtime's C
 * interface alone, sends the worked example order and compares the order
 * file with the expected bytes. It also ends an unwind as an application
 * does. Usage: c_client PLUGIN EXPORT_DIR EXPECTED_FILE. Exit status 0 when
 * everything matches. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "hostrt/hostrt.h"

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "c_client: %s\n", what);
    ++failures;
  }
}

static RtItem nil(void) {
  RtItem item;
  memset(&item, 0, sizeof item);
  item.kind = RT_NIL;
  item.loaded = 1;
  return item;
}

static RtItem integer(int64_t value) {
  RtItem item = nil();
  item.kind = RT_INTEGER;
  item.u.integer = value;
  return item;
}

static RtItem string(const char* text) {
  RtItem item = nil();
  rtNewString(&item, text, strlen(text));
  return item;
}

/* Lets go of what the item holds. */
static void drop(RtItem* item) {
  RtItem empty = nil();
  rtAssign(item, &empty);
}

/* Ends the program when an unwind is under way, naming the error. */
static void noError(const char* doing) {
  if (!rtIsError()) return;
  RtError* error = rtTakeError();
  fprintf(stderr, "c_client: %s: %s\n", doing, rtErrorDescription(error));
  rtErrorRelease(error);
  exit(1);
}

static RtItem newInstance(const char* classFunction) {
  RtItem cls = nil(), instance = nil();
  rtCallFunction(&cls, classFunction, 0, NULL);
  noError(classFunction);
  rtSendNamed(&instance, "New", 1, &cls);
  noError("New");
  drop(&cls);
  return instance;
}

static void setMember(const RtItem* object, const char* member, RtItem value) {
  rtSetMemberNamed(object, member, &value);
  noError(member);
  drop(&value);
}

static RtItem position(const char* partNo, int64_t quantity, int64_t missionNo,
                       const char* remark) {
  RtItem p = newInstance("ORDERPOSITION_STRUCTURE");
  setMember(&p, "partNo", string(partNo));
  setMember(&p, "quantity", integer(quantity));
  setMember(&p, "missionNo", integer(missionNo));
  setMember(&p, "remark", string(remark));
  return p;
}

/* The whole file, or NULL; *len its size. */
static char* readAll(const char* path, long* len) {
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  char* bytes = NULL;
  if (fseek(f, 0, SEEK_END) == 0 && (*len = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0) {
    bytes = malloc((size_t)*len + 1);
    if (bytes && fread(bytes, 1, (size_t)*len, f) != (size_t)*len) {
      free(bytes);
      bytes = NULL;
    }
  }
  fclose(f);
  return bytes;
}

static void sendTheExample(const char* exportDir, const char* expectedPath) {
  RtItem positions[2];
  positions[0] = position("13-280 A.1", 2, 4711, "Eilt");
  positions[1] = position("99/0001,B", 10, 0, "Eilt");
  RtItem list = nil();
  rtNewArray(&list, 2, positions);
  RtItem order = newInstance("ORDER_STRUCTURE");
  setMember(&order, "orderPos", list);
  setMember(&order, "lines", integer(2));
  RtItem param = newInstance("PARAM_STRUCTURE");
  setMember(&param, "zelxport", string(exportDir));

  RtItem argv[3] = {newInstance("VELMORANORDER"), order, param};
  RtItem result = nil();
  rtSendNamed(&result, "send", 3, argv);
  noError("send");
  check(result.kind == RT_LOGICAL && result.u.logical, "send did not return true");

  char path[4096];
  snprintf(path, sizeof path, "%s/velmoran.txt", exportDir);
  long gotLen = 0, wantLen = 0;
  char* got = readAll(path, &gotLen);
  char* want = readAll(expectedPath, &wantLen);
  check(want != NULL, "cannot read the expected file");
  check(got != NULL, "no order file");
  if (got && want) {
    check(gotLen == wantLen && memcmp(got, want, (size_t)gotLen) == 0,
          "the order file differs from the expected bytes");
  }
  free(got);
  free(want);
  remove(path);
  for (int i = 0; i < 3; ++i) drop(&argv[i]);
  drop(&positions[0]);
  drop(&positions[1]);
  drop(&result);
}

/* An unknown message unwinds; the application ends the unwind and goes on. */
static void endAnUnwind(void) {
  RtItem order = newInstance("ORDER_STRUCTURE");
  RtItem result = nil();
  rtSendNamed(&result, "noSuchMessage", 1, &order);
  check(rtIsError(), "an unknown message did not unwind");
  RtError* error = rtTakeError();
  check(error != NULL && rtErrorCode(error) == RT_ERROR_NO_METHOD, "not a no-method error");
  check(!rtIsError(), "the unwind was not ended");
  rtErrorRelease(error);
  drop(&order);
}

/* Strings the runtime makes read through the fields of RtItemData as the
 * header describes them: a short one inline, with its length and its bytes
 * from offset 2 on; a longer one in a heap buffer. */
static void readStringFields(void) {
  const char text[] = "0123456789abcdefghij";
  RtItem shortText = nil(), longText = nil();
  rtNewString(&shortText, text, RT_INLINE_CAPACITY);
  rtNewString(&longText, text, RT_INLINE_CAPACITY + 1);
  size_t len = 0;
  const char* bytes = rtStringBytes(&shortText, &len);
  check(shortText.kind == RT_STRING_INLINE && shortText.loaded == 1 &&
            shortText.inlineLength == RT_INLINE_CAPACITY && shortText.head[0] == '0' &&
            bytes == (const char*)shortText.head && len == RT_INLINE_CAPACITY &&
            memcmp(bytes, text, len) == 0,
        "a short string's fields are not as described");
  bytes = rtStringBytes(&longText, &len);
  check(longText.kind == RT_STRING_REF && longText.loaded == 1 && longText.inlineLength == 0 &&
            longText.length == 0 && longText.u.buffer != NULL && len == RT_INLINE_CAPACITY + 1 &&
            memcmp(bytes, text, len) == 0,
        "a heap string's fields are not as described");
  drop(&shortText);
  drop(&longText);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: c_client PLUGIN EXPORT_DIR EXPECTED_FILE\n");
    return 2;
  }
  RtItem reason = nil();
  if (!rtLoadLibrary(argv[1], &reason)) {
    size_t len = 0;
    const char* text = rtStringBytes(&reason, &len);
    fprintf(stderr, "c_client: cannot load %s: %.*s\n", argv[1], (int)len, text);
    return 1;
  }
  readStringFields();
  sendTheExample(argv[2], argv[3]);
  endAnUnwind();
  return failures == 0 ? 0 : 1;
}
