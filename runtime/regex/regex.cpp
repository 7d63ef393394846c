// Encoding policy: texts arrive as UTF-16 and leave as UTF-16; PCRE sees UTF-8
// copies made by the platform conversion without flags, so an unpaired surrogate
// becomes U+FFFD on the way in and an invalid byte sequence becomes U+FFFD on the
// way out. Pure ASCII, which that conversion leaves as it is, is narrowed or widened
// directly. No byte-order mark is added or recognised. Because the copies are always
// valid UTF-8, PCRE is told not to check them again.
#include "regex/regex.h"

#include <pcre2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "strings/strings.h"

ObjectTable* RegexTable;

namespace {

// The kept blocks and the match data serve one replacement after another, so that
// a file of short lines allocates nothing per line. Everything PCRE2 allocates comes
// from RuntimeHeap, through the contexts, and answers to its fault injection.
struct RegexState {
  char* lastError;                      // copy of PCRE2's last compilation message on RuntimeHeap, owned; or null
  KeptBlock text;                       // UTF-8 copy of the text being replaced
  KeptBlock replacement;                // UTF-8 copy of its replacement
  KeptBlock output;                     // the replacement's output
  pcre2_general_context* memory;        // PCRE2's allocations on RuntimeHeap, owned
  pcre2_general_context* matchMemory;   // the same for the match data, noting a block past KeptBlockLimit; owned
  pcre2_compile_context* compiling;     // owned
  pcre2_match_context* matching;        // holds the JIT stack once there is one; owned
  pcre2_match_data* matchData;          // the whole match's pair and the interpreter's frames; owned, or null
  bool matchDataGrewLarge;              // a frames vector past KeptBlockLimit was allocated for matchData
  pcre2_jit_stack* jitStack;            // shared by every pattern's JIT code, made with the first; or null
  size_t blocksHeld;                    // PCRE2's allocations not yet freed
};

RegexState* State;

// Handed out when the C heap cannot give even one byte, so that ToUtf8 stays non-null.
char EmptyBytes[1];

constexpr size_t OutputLimit = INT32_MAX;  // the most bytes a result can be decoded from
constexpr size_t CopyLimit = INT32_MAX;    // the most bytes the platform's conversion gives
// A pattern is compiled to machine code once it has searched this many bytes. Making
// and freeing the code costs about as much as interpreting 20 KB, so a pattern used
// on a few short texts never pays for it, and one used on a whole file soon gains.
constexpr size_t JitThreshold = 64 * 1024;
// Without a stack of its own, the JIT code takes 32 KB of the thread's stack on every
// search, and probing those pages costs more than a short search itself.
constexpr size_t JitStackStart = 32 * 1024;
constexpr size_t JitStackLimit = 1024 * 1024;
constexpr uint32_t CompileOptions = PCRE2_UTF | PCRE2_NO_UTF_CHECK;

// PCRE2's allocations, on RuntimeHeap; memory is the library's state.
void* PcreAllocate(PCRE2_SIZE size, void* memory) {
  void* block = RuntimeAllocate(size);
  if (block) ++static_cast<RegexState*>(memory)->blocksHeld;
  return block;
}

void* PcreAllocateForMatchData(PCRE2_SIZE size, void* memory) {
  if (size > KeptBlockLimit) static_cast<RegexState*>(memory)->matchDataGrewLarge = true;
  return PcreAllocate(size, memory);
}

void PcreFree(void* block, void* memory) {
  if (!block) return;
  --static_cast<RegexState*>(memory)->blocksHeld;
  RuntimeFree(block);
}

bool CreateContexts(void* state) {
  auto* s = static_cast<RegexState*>(state);
  s->memory = pcre2_general_context_create(PcreAllocate, PcreFree, s);
  s->matchMemory = pcre2_general_context_create(PcreAllocateForMatchData, PcreFree, s);
  s->compiling = pcre2_compile_context_create(s->memory);
  s->matching = pcre2_match_context_create(s->memory);
  if (s->memory && s->matchMemory && s->compiling && s->matching) return true;
  pcre2_match_context_free(s->matching);
  pcre2_compile_context_free(s->compiling);
  pcre2_general_context_free(s->matchMemory);
  pcre2_general_context_free(s->memory);
  return false;
}

// The interpreter keeps its frames in the match data and keeps them from one search
// to the next; after a search so deep that they grew past KeptBlockLimit, the match
// data is given back, as a KeptBlock is, and made again for the next replacement.
void ReleaseMatchDataWhenLarge() {
  if (!State->matchDataGrewLarge) return;
  pcre2_match_data_free(State->matchData);
  State->matchData = nullptr;
  State->matchDataGrewLarge = false;
}

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
// missing text, and null bytes when the room cannot be had. A text of units below
// 0x80 is its own encoding, narrowed unit by unit; any other goes through the
// platform's conversion as ToUtf8 calls it.
Bytes Utf8Into(KeptBlock* block, const wchar_t* text) {
  if (!text) return {EmptyBytes, 0};
  const Bytes refused{nullptr, 0};
  const size_t units = wcslen(text);
  if (IsAscii(text, units)) {
    if (!block->Reserve(units + 1, CopyLimit)) return refused;
    char* bytes = block->bytes;  // held apart, so that the stores need not reload it
    for (size_t i = 0; i < units; ++i) bytes[i] = static_cast<char>(text[i]);
    bytes[units] = '\0';
    return {bytes, units};
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0 || !block->Reserve(static_cast<size_t>(size), CopyLimit)) return refused;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, block->bytes, size, nullptr, nullptr);
  block->bytes[size - 1] = '\0';
  return {block->bytes, static_cast<size_t>(size) - 1};
}

// The first occurrence of the match's length bytes from the cursor. PCRE2 found them
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

// Makes the pattern's JIT code. Without it the interpreter searches alone, so a
// refusal is no failure. The JIT code of a pattern that opts out with (*NO_JIT) is
// reported made but is empty, hence the size.
bool MakeJitCode(RegexRecord* record) {
  auto* compiled = static_cast<pcre2_code*>(record->compiled);
  size_t size = 0;
  if (pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) != 0 || pcre2_pattern_info(compiled, PCRE2_INFO_JITSIZE, &size) != 0 ||
      size == 0)
    return false;
  if (!State->jitStack) {
    State->jitStack = pcre2_jit_stack_create(JitStackStart, JitStackLimit, State->memory);
    if (State->jitStack) pcre2_jit_stack_assign(State->matching, nullptr, State->jitStack);
  }
  record->hasJitCode = true;
  return true;
}

// Makes the JIT code of a pattern that has searched enough to repay it, once.
void MakeJitCodeWhenRepaid(RegexRecord* record, size_t subjectLength) {
  if (record->searched >= JitThreshold) return;
  record->searched += subjectLength;
  if (record->searched >= JitThreshold && !record->hasJitCode) MakeJitCode(record);
}

bool SearchGaveUp(int found) { return found < 0 && found != PCRE2_ERROR_NOMATCH; }

// The first match in subject, as pcre2_match reports it. The two engines find the
// same matches but give up at different points: the JIT code counts its match limit
// differently and is bounded by its stack, the interpreter by its match, depth and
// heap limits. When the one that ran first gives up, the other searches too, its JIT
// code made for the purpose, so that a match either can find is found whichever ran
// first, and a search gives up only when both do.
int Search(RegexRecord* record, const char* subject, size_t length) {
  auto* compiled = static_cast<const pcre2_code*>(record->compiled);
  pcre2_match_data* matchData = State->matchData;
  if (record->hasJitCode) {
    const int found = pcre2_jit_match(compiled, reinterpret_cast<PCRE2_SPTR>(subject), length, 0, 0, matchData,
                                      State->matching);
    if (!SearchGaveUp(found)) return found;
    return pcre2_match(compiled, reinterpret_cast<PCRE2_SPTR>(subject), length, 0,
                       PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT, matchData, State->matching);
  }
  const int found = pcre2_match(compiled, reinterpret_cast<PCRE2_SPTR>(subject), length, 0,
                                PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT, matchData, State->matching);
  if (!SearchGaveUp(found) || !MakeJitCode(record)) return found;
  return pcre2_jit_match(compiled, reinterpret_cast<PCRE2_SPTR>(subject), length, 0, 0, matchData, State->matching);
}

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Replaces the matches in text into output; false when the output could not grow.
bool ReplaceMatches(RegexRecord* record, Bytes text, Bytes replacement, KeptBlock* output) {
  const char* cursor = text.bytes;
  const char* const textEnd = text.bytes + text.length;
  size_t remaining = text.length;
  const PCRE2_SIZE* pair = pcre2_get_ovector_pointer(State->matchData);
  while (Search(record, cursor, remaining) >= 0) {
    // A result of 0 still fills the first pair, the whole match. An empty match
    // ends the work; so does an end before the start, which \K in a look-ahead can give.
    if (pair[1] <= pair[0]) break;
    const char* match = cursor + pair[0];
    const size_t length = pair[1] - pair[0];
    // \C matches a single byte, so a match may begin or end inside a character. It
    // is widened to the whole characters it touches: the output stays valid UTF-8,
    // and the next search starts on a character boundary, as PCRE2_NO_UTF_CHECK needs.
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
  State = static_cast<RegexState*>(LibraryStateCreate(sizeof(RegexState), CreateContexts));
  return RegexTable && State;
}

void RegexEnd() {
  ObjectFreeAll(RegexTable);
  State->text.Release();
  State->replacement.Release();
  State->output.Release();
  pcre2_match_data_free(State->matchData);
  State->matchData = nullptr;
  State->matchDataGrewLarge = false;
  pcre2_jit_stack_free(State->jitStack);
  State->jitStack = nullptr;
  pcre2_jit_stack_assign(State->matching, nullptr, nullptr);
}

intptr_t RegexCreate(ObjectId number, const wchar_t* pattern) {
  auto* record = static_cast<RegexRecord*>(ObjectAllocate(RegexTable, number));
  ClearLastError();
  if (!record) return 0;
  if (pattern) {
    char* utf8 = ToUtf8(pattern);
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    record->compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8), PCRE2_ZERO_TERMINATED, CompileOptions,
                                     &error, &errorOffset, State->compiling);
    FreeUtf8(utf8);
    if (record->compiled) return ObjectIdentifierOf(record);
    PCRE2_UCHAR message[256];
    if (pcre2_get_error_message(error, message, sizeof message) >= 0) KeepLastError(reinterpret_cast<char*>(message));
  }
  // Nobody can name a failed dynamic record, so it must not stay in the list.
  if (number == DynamicNumber) ObjectRelease(RegexTable, ObjectIdentifierOf(record));
  return 0;
}

void RegexReplace(ObjectId regex, const wchar_t* text, const wchar_t* replacement, int32_t result) {
  auto* record = text ? static_cast<RegexRecord*>(ObjectFind(RegexTable, regex)) : nullptr;
  if (record && !State->matchData) State->matchData = pcre2_match_data_create(1, State->matchMemory);
  if (!record || !State->matchData) {
    ScratchEmptyResult(result);
    return;
  }
  // From here on only the UTF-8 copies are read, so arguments lying in the scratch
  // may be overwritten by the result.
  const Bytes replacementUtf8 = Utf8Into(&State->replacement, replacement);
  const Bytes textUtf8 = Utf8Into(&State->text, text);
  KeptBlock* output = &State->output;
  if (replacementUtf8.bytes && textUtf8.bytes) {
    MakeJitCodeWhenRepaid(record, textUtf8.length);
    if (ReplaceMatches(record, textUtf8, replacementUtf8, output))
      ScratchFromUtf8(output->bytes, output->length, result);
    else
      ScratchEmptyResult(result);
  } else {
    ScratchEmptyResult(result);
  }
  State->text.Finish();
  State->replacement.Finish();
  output->Finish();
  ReleaseMatchDataWhenLarge();
}

void RegexFree(ObjectId regex) {
  auto* record = static_cast<RegexRecord*>(ObjectFind(RegexTable, regex));
  if (!record) return;
  pcre2_code_free(static_cast<pcre2_code*>(record->compiled));
  ObjectRelease(RegexTable, regex);
}

const char* RegexLastError() { return State->lastError; }

size_t RegexBlocksHeld() { return State->blocksHeld; }

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
