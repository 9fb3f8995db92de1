// The X11 reader against owners played by FakeX11Connection: every answer, refusal, stall and
// change of owner that the end-to-end suite needs a real server and seconds for, on a fake clock.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ErrorRecord.h"
#include "FakeX11Connection.h"
#include "X11SelectionReader.h"

namespace pellomar {
namespace {

using namespace std::chrono_literals;
using namespace testing_support::fake_x11;
using platform::X11Atom;
using platform::X11Limits;
using platform::X11OwnerNotify;
using platform::X11Time;
using platform::X11Window;
using testing_support::FakeX11Connection;
using testing_support::kFakeAtoms;
using testing_support::kImagePngAtom;
using testing_support::kIntegerAtom;
using testing_support::kReaderWindow;

constexpr X11Atom kTargets = kFakeAtoms.targets;
constexpr X11Atom kUtf8 = kFakeAtoms.utf8String;
constexpr X11Atom kTextPlain = kFakeAtoms.textPlainUtf8;
constexpr X11Atom kString = platform::kX11AtomString;

// What a read ends in: the owner's text (as UTF-8, or as Latin-1 STRING), no text, a list of
// files, or an error whose description is "Path/File access error: " and this.
enum class Outcome { Utf8, Latin1, NoText, Files, Error };
struct Expected {
    Outcome outcome;
    std::string text;  // the text read, or the error's detail
};
Expected utf8(std::string text) {
    return {Outcome::Utf8, std::move(text)};
}
Expected latin1(std::string text) {
    return {Outcome::Latin1, std::move(text)};
}
const Expected kNoText{Outcome::NoText, ""};
const Expected kFiles{Outcome::Files, ""};
Expected error(std::string detail) {
    return {Outcome::Error, std::move(detail)};
}

struct Case {
    const char* name;
    std::vector<Step> script;
    Expected expected;
    // The targets the reader asked for, in order, when a case is about that.
    std::vector<X11Atom> asked = {};
    testing_support::FakeX11Options options = {};
    X11Limits limits = {};
};

Step ownerChange(X11OwnerNotify::Kind kind, X11Window owner, std::chrono::milliseconds after = {},
                 std::optional<X11Time> timestamp = std::nullopt) {
    return {after, OwnerChange{kind, owner, timestamp}};
}
Step otherOwner(std::chrono::milliseconds after = {}) {
    return ownerChange(X11OwnerNotify::Kind::SetOwner, testing_support::kOtherOwnerWindow, after);
}
Step notifyFor(Notify notify) {
    return {0ms, notify};
}

void expectRead(const Case& c) {
    SCOPED_TRACE(c.name);
    FakeX11Connection fake(c.script, c.options);
    X11Time time = fake.serverTime();
    platform::ClipboardRead found;
    try {
        found = platform::readClipboard(fake, &time, c.limits);
    } catch (const MorvantError& e) {
        ASSERT_EQ(c.expected.outcome, Outcome::Error) << "failed: " << e.what();
        EXPECT_EQ(e.record().Number, 75);
        EXPECT_EQ(e.record().Description, "Path/File access error: " + c.expected.text);
        return;
    }
    ASSERT_NE(c.expected.outcome, Outcome::Error) << "expected: " << c.expected.text;
    if (!c.asked.empty()) {
        EXPECT_EQ(fake.requestedTargets(), c.asked);
    }
    EXPECT_EQ(found.files, c.expected.outcome == Outcome::Files);
    const std::optional<platform::ClipboardBytes>& read = found.text;
    if (c.expected.outcome == Outcome::NoText || c.expected.outcome == Outcome::Files) {
        EXPECT_FALSE(read) << "read: " << read->bytes;
        return;
    }
    ASSERT_TRUE(read);
    EXPECT_EQ(read->bytes, c.expected.text);
    EXPECT_EQ(read->latin1, c.expected.outcome == Outcome::Latin1);
    // What the owner wrote for the request that was answered, and nothing else.
    EXPECT_EQ(read->bytes, fake.ownerWrote());
}

TEST(x11_reader_test, which_target_is_asked_for) {
    const Case cases[] = {
        {"UTF8_STRING first",
         {answerTargets({kTargets, kString, kTextPlain, kUtf8}), answer(kUtf8, "select 1")},
         utf8("select 1"),
         {kTargets, kUtf8}},
        {"text/plain;charset=utf-8 without UTF8_STRING",
         {answerTargets({kString, kTextPlain}), answer(kTextPlain, "select \xC3\xA9")},
         utf8("select \xC3\xA9"),
         {kTargets, kTextPlain}},
        {"Latin-1 only from an owner that offers nothing else",
         {answerTargets({kTargets, kString}), answer(kString, "caf\xE9")},
         latin1("caf\xE9"),
         {kTargets, kString}},
        {"an image is not text: nothing more is asked",
         {answerTargets({kTargets, kImagePngAtom})},
         kNoText,
         {kTargets}},
        {"an empty TARGETS list offers no text", {answerTargets({})}, kNoText, {kTargets}},
        {"thousands of TARGETS, read in steps, UTF8_STRING the last of them",
         [] {
             std::vector<X11Atom> many(5000, kImagePngAtom);
             for (std::size_t i = 0; i < many.size(); ++i) many[i] += i;  // 5000 other atoms
             many.back() = kUtf8;
             return std::vector<Step>{answerTargets(many), answer(kUtf8, "x")};
         }(),
         utf8("x"),
         {kTargets, kUtf8},
         {},
         X11Limits{.propertyStep = 16}},
        {"a long text, read in steps",
         {answerTargets({kUtf8}), answer(kUtf8, std::string(1000, 'a') + std::string(1001, 'b'))},
         utf8(std::string(1000, 'a') + std::string(1001, 'b')),
         {},
         {},
         X11Limits{.propertyStep = 16}},
        {"thousands of TARGETS, none of them text",
         {answerTargets(std::vector<X11Atom>(5000, kImagePngAtom))},
         kNoText},
        // A TARGETS answer that is no list of atoms names nothing the reader knows.
        {"TARGETS answered with a text", {answer(kUtf8, "UTF8_STRING")}, kNoText, {kTargets}},
        {"TARGETS of format 8: the bytes are the list",
         {{0ms, Answer{SetProperty{testing_support::kAtomAtom, 8, atomBytes({kUtf8})}}},
          answer(kUtf8, "x")},
         utf8("x")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, owners_that_refuse) {
    const Case cases[] = {
        {"no owner at all: no text",
         {refuse()},
         kNoText,
         {kTargets},
         {.owner = platform::kX11None}},
        {"TARGETS refused, UTF8_STRING given",
         {refuse(), answer(kUtf8, "x")},
         utf8("x"),
         {kTargets, kUtf8}},
        {"TARGETS and UTF8_STRING refused, STRING given",
         {refuse(), refuse(), answer(kString, "x")},
         latin1("x"),
         {kTargets, kUtf8, kString}},
        {"TARGETS refused and no text given",
         {refuse(), refuse(), refuse()},
         error("the program that holds the clipboard does not say what it holds (it refused "
               "TARGETS) and refused to hand over text; the clipboard was left as it was")},
        {"UTF8_STRING offered, then refused",
         {answerTargets({kUtf8}), refuse()},
         error("the program that holds the clipboard offers its text as UTF8_STRING but refused "
               "to hand it over; the clipboard was left as it was")},
        // The type and format of the answer decide what its bytes are (reply_type_decides).
        {"a text of another type",
         {answerTargets({kUtf8}), answer(kIntegerAtom, "select 1")},
         error("the program that holds the clipboard sent its text as INTEGER in format 8 (asked "
               "for UTF8_STRING), which is no text dovlek reads; the clipboard was left as it "
               "was")},
        {"a text of format 16",
         {answerTargets({kUtf8}), {0ms, Answer{SetProperty{kUtf8, 16, "select"}}}},
         error("the program that holds the clipboard sent its text as UTF8_STRING in format 16 "
               "(asked for UTF8_STRING), which is no text dovlek reads; the clipboard was left "
               "as it was")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, answers_that_are_not_ours_are_passed_over) {
    const std::vector<Step> answers = {answerTargets({kUtf8}), answer(kUtf8, "x")};
    const Case cases[] = {
        {"for another target, window or selection",
         {notifyFor({.target = kImagePngAtom}), notifyFor({.requestor = 0x123}),
          notifyFor({.selection = 0x77}), answers[0], answers[1]},
         utf8("x")},
        {"events of no concern",
         {{0ms, Raw{platform::X11OtherEvent{}}},
          {0ms, Raw{platform::X11PropertyNotify{kReaderWindow, kFakeAtoms.clock, true}}},
          answers[0],
          answers[1]},
         utf8("x")},
        {"only a wrong answer, then silence",
         {notifyFor({.target = kImagePngAtom})},
         error("the program that holds the clipboard did not answer within 5 seconds (asked for "
               "TARGETS); the clipboard was left as it was")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, patience_runs_on_the_fake_clock) {
    const Case cases[] = {
        {"a silent owner",
         {},
         error("the program that holds the clipboard did not answer within 5 seconds (asked for "
               "TARGETS); the clipboard was left as it was")},
        {"silent after TARGETS",
         {answerTargets({kUtf8})},
         error("the program that holds the clipboard did not answer within 5 seconds (asked for "
               "UTF8_STRING); the clipboard was left as it was")},
        {"an answer just inside the patience",
         {answerTargets({kUtf8}, 4999ms), answer(kUtf8, "x", 4999ms)},
         utf8("x")},
        {"an answer just too late",
         {answerTargets({kUtf8}, 5100ms), answer(kUtf8, "x")},
         error("the program that holds the clipboard did not answer within 5 seconds (asked for "
               "TARGETS); the clipboard was left as it was")},
        {"a shortened patience, as tests pass it",
         {answerTargets({kUtf8}, 2s)},
         error("the program that holds the clipboard did not answer within 1500 ms (asked for "
               "TARGETS); the clipboard was left as it was"),
         {},
         {},
         X11Limits{.ownerPatience = 1500ms}},
    };
    for (const Case& c : cases) expectRead(c);

    FakeX11Connection silent({});
    X11Time time = silent.serverTime();
    EXPECT_THROW(platform::readClipboard(silent, &time), MorvantError);
    EXPECT_GE(silent.elapsed(), 5s);  // five seconds passed, on the fake clock only
}

TEST(x11_reader_test, incremental_transfers) {
    const Step targets = answerTargets({kUtf8});
    const auto shortOnce = std::vector<Step>{targets, answerIncr(11), piece("hello "), piece("")};
    const Case cases[] = {
        {"pieces up to the empty one",
         {targets, answerIncr(11), piece("hello "), piece("world"), piece("")},
         utf8("hello world")},
        {"a slow owner that keeps sending: the patience runs from the last piece",
         {targets, answerIncr(6), piece("a", 4s), piece("b", 4s), piece("c", 4s), piece("d", 4s),
          piece("e", 4s), piece("f", 4s), piece("", 4s)},
         utf8("abcdef")},
        {"more than announced: the size is a lower bound",
         {targets, answerIncr(5), piece("hello "), piece("world"), piece("")},
         utf8("hello world")},
        {"a stall",
         {targets, answerIncr(11), piece("hello "), piece("world", 6s)},
         error("the transfer of the clipboard's text stopped after 6 of 11 bytes (nothing came "
               "for 5 seconds); the clipboard was left as it was")},
        {"no end: the pieces stop coming without the empty one",
         {targets, answerIncr(3), piece("abc"), piece("def")},
         error("the transfer of the clipboard's text stopped after 6 bytes (nothing came for 5 "
               "seconds); the clipboard was left as it was")},
        {"an empty piece too early, then the whole text when asked again",
         {shortOnce[0], shortOnce[1], shortOnce[2], shortOnce[3], targets, answerIncr(11),
          piece("hello world"), piece("")},
         utf8("hello world"),
         {kTargets, kUtf8, kTargets, kUtf8}},
        {"an empty piece too early, every time",
         {shortOnce[0], shortOnce[1], shortOnce[2], shortOnce[3], shortOnce[0], shortOnce[1],
          shortOnce[2], shortOnce[3], shortOnce[0], shortOnce[1], shortOnce[2], shortOnce[3]},
         error("the transfer of the clipboard's text ended after 6 of 11 bytes (tried 3 times); "
               "the clipboard was left as it was")},
        {"an empty piece at once", {targets, answerIncr(0), piece("")}, utf8("")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, the_owner_changes_or_goes) {
    using Kind = X11OwnerNotify::Kind;
    const Step targets = answerTargets({kUtf8});
    const auto interrupted =
        std::vector<Step>{targets, answerIncr(11), piece("hello "), otherOwner()};
    const Case cases[] = {
        {"another owner mid-read: the read starts again and takes the new text",
         {interrupted[0], interrupted[1], interrupted[2], interrupted[3], targets,
          answer(kUtf8, "new")},
         utf8("new"),
         {kTargets, kUtf8, kTargets, kUtf8}},
        {"another owner at every attempt",
         {otherOwner(), otherOwner(), otherOwner()},
         error("the clipboard changed 3 times while it was read; the clipboard was left as it "
               "was")},
        {"fewer attempts, as tests pass them",
         {otherOwner(), otherOwner()},
         error("the clipboard changed 2 times while it was read; the clipboard was left as it "
               "was"),
         {},
         {},
         X11Limits{.readAttempts = 2}},
        {"the owner quits mid-read",
         {targets, answerIncr(11), piece("hello "), ownerChange(Kind::ClientClosed, 0)},
         error("the program that held the clipboard ended before its text was read (after 6 of "
               "11 bytes); nothing was written")},
        {"the owner's window goes before it answers",
         {ownerChange(Kind::WindowDestroyed, 0)},
         error("the program that held the clipboard ended before its text was read; nothing was "
               "written")},
        {"nobody owns the clipboard any more",
         {targets, ownerChange(Kind::SetOwner, platform::kX11None)},
         error("the program that held the clipboard ended before its text was read; nothing was "
               "written")},
        {"our own window taking the clipboard is no change",
         {targets, ownerChange(Kind::SetOwner, kReaderWindow), answer(kUtf8, "x")},
         utf8("x")},
        {"a change from before the read began is what the read sees",
         {targets, ownerChange(Kind::SetOwner, testing_support::kOtherOwnerWindow, 0ms, 1),
          answer(kUtf8, "x")},
         utf8("x")},
        {"without XFixes a change goes unseen and the old owner's text is read",
         {targets, answerIncr(11), piece("hello "), otherOwner(), piece("world"), piece("")},
         utf8("hello world"),
         {},
         {.xfixes = false}},
        {"a late answer to the attempt before is not taken for this one",
         {otherOwner(), notifyFor({.previousRequestTime = true}), targets, answer(kUtf8, "x")},
         utf8("x"),
         {kTargets, kTargets, kUtf8}},
        {"the connection is lost",
         {targets, answerIncr(11), piece("hello "), {0ms, Disconnect{}}},
         error("the connection to the X server was lost; the clipboard was left as it was")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, incremental_transfers_are_strict) {
    const Step targets = answerTargets({kUtf8});
    const auto gone = [](std::chrono::milliseconds after = {}) {
        return Step{after, DeleteProperty{}, true};
    };
    const Case cases[] = {
        // Any client can delete our property: a small announced size made the gone piece look
        // like the end, and the first piece was taken for the whole text.
        {"a piece deleted before it is read, after a small announced size",
         {targets, answerIncr(1), piece("hello "), piece("world"), gone()},
         error("a piece of the clipboard's text was gone when it was read (after 6 bytes); the "
               "clipboard was left as it was")},
        {"a notice of our property with no piece behind it",
         {targets,
          answerIncr(11),
          piece("hello "),
          {0ms, Raw{platform::X11PropertyNotify{kReaderWindow, kFakeAtoms.transfer, true}}}},
         error("a piece of the clipboard's text was gone when it was read (after 6 of 11 bytes); "
               "the clipboard was left as it was")},
        {"a gone piece fails at once, a later piece is not waited for",
         {targets, answerIncr(1), piece("a"), piece("b"), gone(), piece("c", 4s), piece("", 4s)},
         error("a piece of the clipboard's text was gone when it was read (after 1 bytes); the "
               "clipboard was left as it was")},
        {"a piece of another type",
         {targets, answerIncr(11), piece("hello "), piece("world", 0ms, kString)},
         error("a piece of the clipboard's text came as STRING in format 8 after pieces of "
               "UTF8_STRING (after 6 of 11 bytes); the clipboard was left as it was")},
        {"an empty piece of another type ends nothing",
         {targets, answerIncr(1), piece("hello "), piece("", 0ms, kString)},
         error("a piece of the clipboard's text came as STRING in format 8 after pieces of "
               "UTF8_STRING (after 6 bytes); the clipboard was left as it was")},
        {"INCR again in the middle of a transfer",
         {targets, answerIncr(1), piece("hello "), {0ms, SetProperty{kFakeAtoms.incr, 32, "abcd"}}},
         error("a piece of the clipboard's text came as INCR in format 32 after pieces of "
               "UTF8_STRING (after 6 bytes); the clipboard was left as it was")},
        {"a piece in format 16",
         {targets, answerIncr(1), piece("hello "), {0ms, SetProperty{kUtf8, 16, "worl"}}},
         error("a piece of the clipboard's text came as UTF8_STRING in format 16, which is no "
               "text dovlek reads (after 6 bytes); the clipboard was left as it was")},
        {"a first piece that is no text",
         {targets, answerIncr(1), piece("\x89PNG", 0ms, kImagePngAtom)},
         error("a piece of the clipboard's text came as image/png in format 8, which is no text "
               "dovlek reads; the clipboard was left as it was")},
        // The fuzz target found this one: the end written over the last piece before it was read.
        {"a piece replaced by the end before it is read",
         {targets, answerIncr(0), piece("hello", 100ms), {0ms, SetProperty{kUtf8, 8, ""}, true}},
         error("a piece of the clipboard's text was replaced by the end of the transfer before it "
               "was read (after 0 bytes); the clipboard was left as it was")},
        {"a piece replaced by another before it is read",
         {targets,
          answerIncr(0),
          piece("hello", 100ms),
          {0ms, SetProperty{kUtf8, 8, "world"}, true},
          piece("")},
         error("a piece of the clipboard's text was gone when it was read (after 5 bytes); the "
               "clipboard was left as it was")},
        {"pieces of STRING are Latin-1, whatever was asked for",
         {targets, answerIncr(4), piece("caf", 0ms, kString), piece("\xE9", 0ms, kString),
          piece("", 0ms, kString)},
         latin1("caf\xE9")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, reply_type_decides) {
    const std::string utf8Cafe = "caf\xC3\xA9 \xE2\x98\x95";
    const Case cases[] = {
        {"UTF8_STRING in answer to STRING is UTF-8",
         {answerTargets({kString}), answer(kUtf8, utf8Cafe)},
         utf8(utf8Cafe),
         {kTargets, kString}},
        {"STRING in answer to UTF8_STRING is Latin-1",
         {answerTargets({kUtf8}), answer(kString, "caf\xE9")},
         latin1("caf\xE9")},
        {"text/plain;charset=utf-8 in answer to UTF8_STRING is UTF-8",
         {answerTargets({kUtf8}), answer(kTextPlain, utf8Cafe)},
         utf8(utf8Cafe)},
        {"STRING holding UTF-8 bytes stays Latin-1: no guessing",
         {answerTargets({kString}), answer(kString, utf8Cafe)},
         latin1(utf8Cafe)},
        {"without TARGETS, the answer's type still decides",
         {refuse(), answer(kString, "caf\xE9")},
         latin1("caf\xE9"),
         {kTargets, kUtf8}},
        {"UTF8_STRING in format 32, NUL padding and all",
         {answerTargets({kUtf8}), {0ms, Answer{SetProperty{kUtf8, 32, std::string("ab\0\0", 4)}}}},
         error("the program that holds the clipboard sent its text as UTF8_STRING in format 32 "
               "(asked for UTF8_STRING), which is no text dovlek reads; the clipboard was left "
               "as it was")},
        {"a type the server cannot name",
         {answerTargets({kUtf8}), answer(999, "x")},
         error("the program that holds the clipboard sent its text as atom 999 in format 8 "
               "(asked for UTF8_STRING), which is no text dovlek reads; the clipboard was left "
               "as it was")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, converted_but_wrote_nothing) {
    const Case cases[] = {
        {"the text",
         {answerTargets({kUtf8}), notifyFor({})},
         error("the program that holds the clipboard said it handed over UTF8_STRING but wrote "
               "nothing; the clipboard was left as it was")},
        {"TARGETS",
         {notifyFor({})},
         error("the program that holds the clipboard said it handed over TARGETS but wrote "
               "nothing; the clipboard was left as it was")},
        // Found by the fuzz target: three answers to one request, the last a STRING.
        {"an answer written over before it was read",
         {answerTargets({kUtf8}),
          answer(kUtf8, "first"),
          {0ms, Answer{SetProperty{kString, 8, "second"}}, true}},
         error("the program that holds the clipboard wrote its answer (asked for UTF8_STRING) "
               "again before it was read; the clipboard was left as it was")},
        {"an empty text is no missing one", {answerTargets({kUtf8}), answer(kUtf8, "")}, utf8("")},
    };
    for (const Case& c : cases) expectRead(c);
}

TEST(x11_reader_test, file_lists_are_left_alone) {
    // The names file managers use; each comes with plain text that a layout would take.
    for (const X11Atom list : kFakeAtoms.fileLists) {
        expectRead({"a file list beside text",
                    {answerTargets({kTargets, list, kUtf8, kString}), answer(kUtf8, "/tmp/a")},
                    kFiles,
                    {kTargets}});
    }
    expectRead({"text/plain and TEXT are no file list",
                {answerTargets({kUtf8, kFakeAtoms.text}), answer(kUtf8, "x")},
                utf8("x")});
}

TEST(x11_reader_test, the_server_ends_or_goes_silent) {
    using Kind = X11OwnerNotify::Kind;
    const Step targets = answerTargets({kUtf8});
    const Step silent{0ms, ServerSilent{}, true};
    const std::string silentText =
        "the X server stopped answering (nothing for 5 seconds; another program may hold it "
        "grabbed); the clipboard was left as it was";
    const Case cases[] = {
        // A server that ends closes the owner first, and tells us so before our own end.
        {"the server ends: the owner's end is told first",
         {targets,
          answerIncr(11),
          piece("hello "),
          ownerChange(Kind::ClientClosed, 0),
          {0ms, Disconnect{.keepEvents = true}, true}},
         error("the connection to the X server was lost; the clipboard was left as it was")},
        {"silent when the answer is read", {targets, silent}, error(silentText)},
        {"silent when a piece is read",
         {targets, answerIncr(11), piece("hello "), piece("world"), silent},
         error(silentText)},
        {"silent when asked who owns the clipboard", {refuse(), silent}, error(silentText)},
        // The owner's silence is the server's when the server does not answer either.
        {"silent before the owner answers", {silent}, error(silentText)},
        {"silent in the middle of a transfer",
         {targets, answerIncr(11), piece("hello "), silent},
         error(silentText)},
        {"silent while the owner is asked again", {otherOwner(), silent}, error(silentText)},
        {"a shorter patience, as tests pass it",
         {targets, silent},
         error("the X server stopped answering (nothing for 1500 ms; another program may hold "
               "it grabbed); the clipboard was left as it was"),
         {},
         {.serverPatience = 1500ms},
         X11Limits{.serverPatience = 1500ms}},
    };
    for (const Case& c : cases) expectRead(c);

    // The wait is bounded on the fake clock: the patience once, then nothing more is asked.
    FakeX11Connection fake({targets, silent});
    X11Time time = fake.serverTime();
    EXPECT_THROW(platform::readClipboard(fake, &time), MorvantError);
    EXPECT_TRUE(fake.silent());
    EXPECT_GE(fake.elapsed(), 5s);
    EXPECT_LT(fake.elapsed(), 6s);
}

}  // namespace
}  // namespace pellomar
