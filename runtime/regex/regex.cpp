// Encoding policy: texts arrive as UTF-16 and leave as UTF-16; PCRE sees UTF-8
// copies made by the platform conversion without flags, so an unpaired surrogate
// becomes U+FFFD on the way in and an invalid byte sequence becomes U+FFFD on the
// way out. Pure ASCII, which that conversion leaves as it is, is narrowed or widened
// directly. No byte-order mark is added or recognised. Because the copies are always
// valid UTF-8, PCRE is told not to check them again.
#include "regex/regex.h"

#include <pcre.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "strings/strings.h"

ObjectTable* RegexTable;

namespace {

// The kept blocks serve one replacement after another, so that a file of short
// lines allocates nothing per line.
struct RegexState {
  char* lastError;           // copy of PCRE's last compilation message on RuntimeHeap, owned; or null
  KeptBlock text;            // UTF-8 copy of the text being replaced
  KeptBlock replacement;     // UTF-8 copy of its replacement
  KeptBlock output;          // the replacement's output
  pcre_jit_stack* jitStack;  // shared by every pattern's JIT code, made with the first; or null
  BlockPool* frames;         // the interpreter's backtracking frames, made with the first; or null
};

RegexState* State;

// Handed out when the C heap cannot give even one byte, so that ToUtf8 stays non-null.
char EmptyBytes[1];

constexpr size_t OutputLimit = INT32_MAX;  // the most bytes a result can be decoded from
constexpr size_t CopyLimit = INT32_MAX;    // the most bytes the platform's conversion gives
// A pattern is compiled to machine code once it has searched this many bytes. Making
// and freeing the code costs about as much as interpreting 20 KB, so a pattern used
// on a few short texts never pays for it, and one used on a whole file soon gains.
constexpr size_t StudyThreshold = 64 * 1024;
// Without a stack of its own, the JIT code takes 32 KB of the thread's stack on every
// search, and probing those pages costs more than a short search itself.
constexpr int JitStackStart = 32 * 1024;
constexpr int JitStackLimit = 1024 * 1024;

void ClearLastError() {
  RuntimeFree(State->lastError);
  State->lastError = nullptr;
}

void KeepLastError(const char* message) {
  const size_t size = std::strlen(message) + 1;
  if (auto* copy = static_cast<char*>(RuntimeAllocate(size))) {
    std::memcpy(copy, message, size);
    State->lastError = copy;
  }
}

// A NUL-terminated byte string and its length.
struct Bytes {
  const char* bytes;
  size_t length;
};

// The UTF-8 form of text in block, the same bytes as ToUtf8 gives: empty for a
// missing text and when the room cannot be had. A text of units below 0x80 is its
// own encoding, narrowed unit by unit; any other goes through the platform's
// conversion as ToUtf8 calls it.
Bytes Utf8Into(KeptBlock* block, const wchar_t* text) {
  const Bytes empty{EmptyBytes, 0};
  if (!text) return empty;
  const size_t units = wcslen(text);
  if (IsAscii(text, units)) {
    if (!block->Reserve(units + 1, CopyLimit)) return empty;
    char* bytes = block->bytes;  // held apart, so that the stores need not reload it
    for (size_t i = 0; i < units; ++i) bytes[i] = static_cast<char>(text[i]);
    bytes[units] = '\0';
    return {bytes, units};
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0 || !block->Reserve(static_cast<size_t>(size), CopyLimit)) return empty;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, block->bytes, size, nullptr, nullptr);
  block->bytes[size - 1] = '\0';
  return {block->bytes, static_cast<size_t>(size) - 1};
}

// The first occurrence of the match's length bytes from the cursor. PCRE found them
// at match itself, so no occurrence can begin after it and the search stops there.
const char* FirstOccurrence(const char* cursor, const char* match, size_t length) {
  for (const char* at = cursor;; ++at) {
    at = static_cast<const char*>(std::memchr(at, match[0], static_cast<size_t>(match - at) + 1));
    if (at == match || std::memcmp(at + 1, match + 1, length - 1) == 0) return at;
  }
}

// Appends to the replacement's output; false when it cannot grow. The room
// doubles, so that a long text with many matches costs time linear in its length.
bool AppendOutput(KeptBlock* output, const char* from, size_t count) {
  return output->Append(from, count, OutputLimit) == count;
}

// The first match in subject, as pcre_exec reports it: by the JIT code once the
// pattern has it, else by the interpreter. Both find the same matches, but the JIT
// code gives up sooner, when its stack is spent; the interpreter then searches
// again, so that the result never depends on which of them ran.
int Search(const RegexRecord& record, const char* subject, size_t length, int (&vector)[3]) {
  const auto* compiled = static_cast<const pcre*>(record.compiled);
  // PCRE measures its subject in int: past that, only the part it can take is searched.
  const int bytes = static_cast<int>(std::min<size_t>(length, INT_MAX));
  if (record.studied) {
    const int found = pcre_exec(compiled, static_cast<const pcre_extra*>(record.studied), subject, bytes, 0,
                                PCRE_NO_UTF8_CHECK, vector, 3);
    if (found >= 0 || found == PCRE_ERROR_NOMATCH) return found;
  }
  return pcre_exec(compiled, nullptr, subject, bytes, 0, PCRE_NO_UTF8_CHECK, vector, 3);
}

// The interpreter keeps one frame per level of backtracking on the heap and gives
// them all back when its search ends; a pool serves them from chunks, so that a
// search 60,000 levels deep makes a few hundred heap calls, not 120,000. Every frame
// has the same size; a request of another size is refused, which fails the search.
void* TakeFrame(size_t size) {
  if (!State->frames) State->frames = BlockPoolCreate(static_cast<int32_t>(size), 16, 4096);
  if (!State->frames || size != static_cast<size_t>(State->frames->elementSize)) return nullptr;
  return BlockTake(State->frames);
}

void GiveFrame(void* frame) { BlockGive(State->frames, frame); }

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Studies a pattern that has searched enough to repay it. Studying only speeds the
// search up: without what it learns the interpreter searches alone, so a refusal is
// no failure, and the pattern is not studied again.
void StudyWhenRepaid(RegexRecord* record, size_t subjectLength) {
  if (record->searched >= StudyThreshold) return;
  record->searched += subjectLength;
  if (record->searched < StudyThreshold) return;
  const char* error = nullptr;
  auto* studied = pcre_study(static_cast<pcre*>(record->compiled), PCRE_STUDY_JIT_COMPILE, &error);
  if (studied) {
    if (!State->jitStack) State->jitStack = pcre_jit_stack_alloc(JitStackStart, JitStackLimit);
    pcre_assign_jit_stack(studied, nullptr, State->jitStack);
  }
  record->studied = studied;
}

// Replaces the matches in text into output; false when the output could not grow.
bool ReplaceMatches(const RegexRecord& record, Bytes text, Bytes replacement, KeptBlock* output) {
  const char* cursor = text.bytes;
  const char* const textEnd = text.bytes + text.length;
  size_t remaining = text.length;
  int vector[3];
  while (Search(record, cursor, remaining, vector) >= 0) {
    // A result of 0 still fills the first pair, the whole match. An empty match
    // ends the work; so does an end before the start, which \K in a look-ahead can give.
    if (vector[1] <= vector[0]) break;
    const char* match = cursor + vector[0];
    const auto length = static_cast<size_t>(vector[1] - vector[0]);
    // \C matches a single byte, so a match may begin or end inside a character. It
    // is widened to the whole characters it touches: the output stays valid UTF-8,
    // and the next search starts on a character boundary, as PCRE_NO_UTF8_CHECK needs.
    const char* found = FirstOccurrence(cursor, match, length);
    const char* end = found + length;
    while (found > cursor && IsContinuationByte(*found)) --found;
    while (end < textEnd && IsContinuationByte(*end)) ++end;
    const auto prefix = static_cast<size_t>(found - cursor);
    const auto consumed = static_cast<size_t>(end - cursor);
    if (!AppendOutput(output, cursor, prefix) || !AppendOutput(output, replacement.bytes, replacement.length))
      return false;
    cursor += consumed;
    remaining -= consumed;
  }
  return AppendOutput(output, cursor, remaining);
}

}  // namespace

bool RegexInit() {
  RegexTable = ObjectTableCreate(sizeof(RegexRecord), 16, RegexFree);
  State = static_cast<RegexState*>(LibraryStateCreate(sizeof(RegexState)));
  pcre_stack_malloc = TakeFrame;
  pcre_stack_free = GiveFrame;
  return RegexTable && State;
}

void RegexEnd() {
  ObjectFreeAll(RegexTable);
  State->text.Release();
  State->replacement.Release();
  State->output.Release();
  if (State->jitStack) pcre_jit_stack_free(State->jitStack);
  State->jitStack = nullptr;
}

intptr_t RegexCreate(ObjectId number, const wchar_t* pattern) {
  auto* record = static_cast<RegexRecord*>(ObjectAllocate(RegexTable, number));
  ClearLastError();
  if (!record) return 0;
  if (pattern) {
    char* utf8 = ToUtf8(pattern);
    const char* error = nullptr;
    int errorOffset = 0;
    record->compiled = pcre_compile(utf8, PCRE_UTF8 | PCRE_NO_UTF8_CHECK, &error, &errorOffset, nullptr);
    FreeUtf8(utf8);
    if (!record->compiled && error) KeepLastError(error);
  }
  // A pattern is named by its number or its record's address, never by PCRE's.
  return ObjectCreated(RegexTable, number, record) ? ObjectIdentifierOf(record) : 0;
}

void RegexReplace(ObjectId regex, const wchar_t* text, const wchar_t* replacement, int32_t result) {
  auto* record = text ? static_cast<RegexRecord*>(ObjectFind(RegexTable, regex)) : nullptr;
  if (!record) {
    ScratchEmptyResult(result);
    return;
  }
  // From here on only the UTF-8 copies are read, so arguments lying in the scratch
  // may be overwritten by the result.
  const Bytes replacementUtf8 = Utf8Into(&State->replacement, replacement);
  const Bytes textUtf8 = Utf8Into(&State->text, text);
  StudyWhenRepaid(record, textUtf8.length);
  KeptBlock* output = &State->output;
  if (ReplaceMatches(*record, textUtf8, replacementUtf8, output))
    ScratchFromUtf8(output->bytes, output->length, result);
  else
    ScratchEmptyResult(result);
  State->text.Finish();
  State->replacement.Finish();
  output->Finish();
}

void RegexFree(ObjectId regex) {
  auto* record = static_cast<RegexRecord*>(ObjectFind(RegexTable, regex));
  if (!record) return;
  pcre_free_study(static_cast<pcre_extra*>(record->studied));
  pcre_free(record->compiled);
  ObjectRelease(RegexTable, regex);
}

const char* RegexLastError() { return State->lastError; }

char* ToUtf8(const wchar_t* text) {
  if (text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      if (auto* bytes = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1))) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, size, nullptr, nullptr);
        bytes[size] = '\0';
        return bytes;
      }
    }
  }
  auto* empty = static_cast<char*>(std::malloc(1));
  if (!empty) return EmptyBytes;
  *empty = '\0';
  return empty;
}

void FreeUtf8(char* bytes) {
  if (bytes != EmptyBytes) std::free(bytes);
}

void Utf8ToScratch(const char* bytes, int32_t result) {
  ScratchFromUtf8(bytes, bytes ? std::strlen(bytes) : 0, result);
}
