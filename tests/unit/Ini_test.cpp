#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/Fakes.h"
#include "storage/Ini.h"

namespace orv {
namespace {

using fakes::FakeLocale;
using fakes::FakePlatform;

const char* const kFile = "C:\\Apps\\Orvastell\\config\\config.ini";
const char* const kSection = "UpdateFrontend";

Variant Read(FakePlatform& p, const char* key, const Variant& defaultValue = "(default)") {
    return ReadIniValue(p.ctx, kSection, key, defaultValue, kFile);
}

// ---------------------------------------------------------------- reading

TEST(IniRead, KeysAreFoundOnlyWhereTheirLineBeginsWithNameAndEquals) {
    FakePlatform p;
    p.files.AddFile(kFile,
                    "[updatefrontend]\r\n"
                    "fileRevision=5\r\n"
                    "Empty=\r\n"
                    "Spaced = 3\r\n"
                    "Odd=a=b[c]\r\n"
                    " Indented=1\r\n"
                    "Last=  tail  ");
    EXPECT_EQ(Read(p, "FileRevision"), Variant("5"));      // names without regard to case
    EXPECT_EQ(Read(p, "Empty"), Variant(""));              // the key exists: "" and not the default
    EXPECT_EQ(Read(p, "Spaced"), Variant("(default)"));    // blanks before "=" are part of no name
    EXPECT_EQ(Read(p, "Spaced "), Variant(" 3"));          // ... and values are not trimmed
    EXPECT_EQ(Read(p, "Odd"), Variant("a=b[c]"));
    EXPECT_EQ(Read(p, "Indented"), Variant("(default)"));
    EXPECT_EQ(Read(p, "Last"), Variant("  tail  "));       // last line without CR LF
    EXPECT_EQ(Read(p, "Missing"), Variant("(default)"));
    // The default comes back with its own type.
    EXPECT_EQ(Read(p, "Missing", Variant(std::int32_t{42})), Variant(std::int32_t{42}));
    EXPECT_TRUE(Read(p, "Missing", Variant::Null()).IsNull());
}

TEST(IniRead, OnlyTheFirstSectionAndTheFirstKeyLineCount) {
    FakePlatform p;
    p.files.AddFile(kFile,
                    "[Other]\r\nFileRevision=1\r\n"
                    "[UpdateFrontend]\r\nFileRevision=2\r\nFileRevision=3\r\n\r\n"
                    "[UpdateFrontend]\r\nFileRevision=4\r\nFileLocation=X\r\n");
    EXPECT_EQ(Read(p, "FileRevision"), Variant("2"));
    EXPECT_EQ(Read(p, "FileLocation"), Variant("(default)"));  // it lives in the second copy only
    EXPECT_EQ(ReadIniValue(p.ctx, "other", "filerevision", "", kFile), Variant("1"));
}

TEST(IniRead, HeaderInsideAnEarlierValueStartsTheSectionThere) {
    FakePlatform p;
    p.files.AddFile(kFile,
                    "[Notes]\r\nText=see [UpdateFrontend]\r\nFileRevision=9\r\n"
                    "[UpdateFrontend]\r\nFileRevision=5\r\n");
    EXPECT_EQ(Read(p, "FileRevision"), Variant("9"));
}

TEST(IniRead, LfOnlyFilesHaveSectionsButNoKeys) {
    FakePlatform p;
    p.files.AddFile(kFile, "[UpdateFrontend]\nFileRevision=5\n");
    EXPECT_EQ(Read(p, "FileRevision"), Variant("(default)"));
}

TEST(IniRead, MissingEmptyOrUnreadableFilesGiveTheDefault) {
    FakePlatform p;
    EXPECT_EQ(Read(p, "FileRevision"), Variant("(default)"));  // no file
    EXPECT_TRUE(ReadTextFile(p.ctx, kFile).IsEmpty());
    p.files.AddFile(kFile, "");
    EXPECT_TRUE(ReadTextFile(p.ctx, kFile).IsEmpty());  // an empty file is no text either
    EXPECT_EQ(Read(p, "FileRevision"), Variant("(default)"));
    p.files.AddFolder("C:\\Apps\\Orvastell\\config\\folder.ini");
    EXPECT_TRUE(ReadTextFile(p.ctx, "C:\\Apps\\Orvastell\\config\\folder.ini").IsEmpty());
    p.files.AddFile(kFile, "a\r\nb\n\r");
    EXPECT_EQ(ReadTextFile(p.ctx, kFile), Variant("a\r\nb\n\r"));
}

TEST(IniRead, TextBetweenCutsUpToTheEndMarkerALineEndOrTheEnd) {
    EXPECT_EQ(TextBetween("Key=Value;rest", "KEY=", ";"), Variant("Value"));
    EXPECT_EQ(TextBetween("Key=Value\r\nNext;", "key=", ";"), Variant("Value\r\nNext"));
    EXPECT_EQ(TextBetween("Key=Value\r\nNext", "key=", ";"), Variant("Value"));
    EXPECT_EQ(TextBetween("Key=Value", "key=", ";"), Variant("Value"));
    EXPECT_EQ(TextBetween("xAbCy", "a", "C"), Variant("b"));  // end marker without regard to case
    EXPECT_EQ(TextBetween("Key=", "key=", ";"), Variant(""));
    EXPECT_TRUE(TextBetween("Key=Value", "Other=", ";").IsEmpty());
}

// ---------------------------------------------------------------- writing

TEST(IniWrite, KeysAreReplacedInTheirLinesOrAddedAtTheEndOfTheirSectionAndReadBackAsWritten) {
    struct Case {
        const char* what;
        std::optional<std::string> before;  // nullopt: no file, in an existing folder
        const char *key, *value;
        std::string after;
    };
    const std::string layout = "[UpdateFrontend]\r\nUpdateLocation=\\\\srv\\upd\\update.ini\r\nFileRevision=";
    const Case cases[] = {
        {"worked layout: time added", layout + "5\r\n", "FileLastUpdate", "D", layout + "5\r\n\r\nFileLastUpdate=D"},
        {"worked layout: revision replaced", layout + "5\r\n\r\nFileLastUpdate=D", "FileRevision", "6",
         layout + "6\r\n\r\nFileLastUpdate=D"},
        {"worked layout: time replaced", layout + "6\r\n\r\nFileLastUpdate=D", "FileLastUpdate", "E",
         layout + "6\r\n\r\nFileLastUpdate=E"},
        {"before the next header", "; top\r\n[UpdateFrontend]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n", "C", "3",
         "; top\r\n[UpdateFrontend]\r\nA=1\r\n\r\nC=3\r\n[Other]\r\nB=2\r\n"},
        {"no file", std::nullopt, "FileRevision", "7", "[UpdateFrontend]\r\nFileRevision=7"},
        {"no section, no line end", "[Other]\r\nB=2", "FileRevision", "7",
         "[Other]\r\nB=2\r\n[UpdateFrontend]\r\nFileRevision=7"},
        {"no section", "[Other]\r\nB=2\r\n", "FileRevision", "7", "[Other]\r\nB=2\r\n[UpdateFrontend]\r\nFileRevision=7"},
        // Every matching line of the first section takes the key as given; a line with blanks is
        // no key and stays; a second section of the same name is not touched.
        {"every key line", "[updatefrontend]\r\nfileRevision=2\r\nFileRevision = 3\r\nFILEREVISION=4\r\n"
                           "[UpdateFrontend]\r\nFileRevision=5\r\n", "FileRevision", "6",
         "[updatefrontend]\r\nFileRevision=6\r\nFileRevision = 3\r\nFileRevision=6\r\n[UpdateFrontend]\r\nFileRevision=5\r\n"},
        {"blanks around equals", "[UpdateFrontend]\r\nFileRevision = 5\r\n", "FileRevision", "6",
         "[UpdateFrontend]\r\nFileRevision = 5\r\n\r\nFileRevision=6"},
        {"header inside an earlier value", "[Notes]\r\nText=see [UpdateFrontend]\r\n[UpdateFrontend]\r\nA=1\r\n", "A",
         "2", "[Notes]\r\nText=see [UpdateFrontend]\r\nA=2\r\n[UpdateFrontend]\r\nA=1\r\n"},
        {"LF only: appended at the very end", "[UpdateFrontend]\nFileRevision=5\n[Other]\nB=1\n", "FileRevision", "6",
         "[UpdateFrontend]\nFileRevision=5\n[Other]\nB=1\n\r\nFileRevision=6"},
        {"tricky value", "[UpdateFrontend]\r\nA=1\r\n", "A", " x=[UpdateFrontend]=y [z] ",
         "[UpdateFrontend]\r\nA= x=[UpdateFrontend]=y [z] \r\n"},
        {"value like a header", "[UpdateFrontend]\r\nA=1\r\n", "B", "[Other]", "[UpdateFrontend]\r\nA=1\r\n\r\nB=[Other]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        p.files.AddFolder("C:\\Apps\\Orvastell\\config");
        if (c.before) p.files.AddFile(kFile, *c.before);
        WriteIniValue(p.ctx, kSection, c.key, c.value, kFile);
        EXPECT_EQ(p.files.Content(kFile), c.after);
        EXPECT_EQ(Read(p, c.key), Variant(c.value));
    }
}

TEST(IniWrite, ValuesAreWrittenInTheirTextFormUnderTheLocale) {
    for (const auto kind : {FakeLocale::Kind::EnUs, FakeLocale::Kind::CommaDecimal}) {
        FakePlatform p(kind);
        p.files.AddFile(kFile, "[UpdateFrontend]\r\n");
        WriteIniValue(p.ctx, kSection, "Revision", 1.5, kFile);
        WriteIniValue(p.ctx, kSection, "Whole", 7.0, kFile);
        WriteIniValue(p.ctx, kSection, "When", DateValue{46000.5}, kFile);
        WriteIniValue(p.ctx, kSection, "Null", Variant::Null(), kFile);
        WriteIniValue(p.ctx, kSection, "Empty", Variant(), kFile);
        const bool comma = kind == FakeLocale::Kind::CommaDecimal;
        EXPECT_EQ(Read(p, "Revision"), Variant(comma ? "1,5" : "1.5"));
        EXPECT_EQ(Read(p, "Whole"), Variant("7"));
        EXPECT_EQ(Read(p, "When"), Variant(comma ? "09.12.2025 12:00:00" : "12/9/2025 12:00:00 PM"));
        EXPECT_EQ(Read(p, "Null"), Variant(""));
        EXPECT_EQ(Read(p, "Empty"), Variant(""));
    }
}

// ---------------------------------------------------------------- file names

TEST(IniFiles, NamesWithoutDriveOrUncPrefixLiveInTheWindowsFolder) {
    FakePlatform p;
    WriteIniValue(p.ctx, kSection, "A", "1", "agent.ini");
    EXPECT_EQ(p.files.Content("C:\\WINDOWS\\agent.ini"), "[UpdateFrontend]\r\nA=1");
    EXPECT_EQ(ReadIniValue(p.ctx, kSection, "A", "", "agent.ini"), Variant("1"));

    // A single leading "\" is still relative: the Windows folder, a "\" and the name.
    p.journal.clear();
    WriteIniValue(p.ctx, kSection, "A", "2", "\\agent.ini");
    ASSERT_FALSE(p.journal.empty());
    EXPECT_EQ(p.journal.back(), "replace C:\\WINDOWS\\\\agent.ini");
    EXPECT_EQ(ReadIniValue(p.ctx, kSection, "A", "", "\\agent.ini"), Variant("2"));

    // ":\" anywhere, or a UNC name, is used unchanged.
    p.files.AddFile("\\\\server\\share\\u.ini", "[UpdateFrontend]\r\nA=unc\r\n");
    EXPECT_EQ(ReadIniValue(p.ctx, kSection, "A", "", "\\\\server\\share\\u.ini"), Variant("unc"));
    p.files.AddFile("D:\\u.ini", "[UpdateFrontend]\r\nA=d\r\n");
    EXPECT_EQ(ReadIniValue(p.ctx, kSection, "A", "", "D:\\u.ini"), Variant("d"));
    p.files.AddFile("C:\\WINDOWS\\D:u.ini", "[UpdateFrontend]\r\nA=relative\r\n");
    EXPECT_EQ(ReadIniValue(p.ctx, kSection, "A", "", "D:u.ini"), Variant("relative"));
}

// Failures part-way through a rewrite are swept in FaultInjection_test.cpp.
TEST(IniFiles, AnExistingFileThatCannotBeReadIsNeverRebuiltFromNothing) {
    const std::string text = "[UpdateFrontend]\r\nUpdateLocation=\\\\server\\u.ini\r\nFileRevision=5\r\n";
    struct Case {
        const char* what;
        std::string content;
        bool heldOpen;
        int error;
    };
    const Case cases[] = {
        {"held open without read sharing", text, true, 70},
        {"beyond 4 MB", text + std::string((4u << 20) - text.size() + 1, ' '), false, 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        p.files.AddFile(kFile, c.content);
        if (c.heldOpen) p.files.failRead.insert(fakes::NormalizePath(kFile));
        // Read as a file without the key; written not at all.
        EXPECT_EQ(Read(p, "FileRevision"), Variant("(default)"));
        try {
            WriteIniValue(p.ctx, kSection, "FileRevision", "6", kFile);
            ADD_FAILURE() << "no error";
        } catch (const AgentError& e) {
            EXPECT_EQ(e.Number(), c.error);
        }
        EXPECT_EQ(p.files.Content(kFile), c.content);
        EXPECT_EQ(p.files.AllFiles().size(), 1u);
    }
}

TEST(IniFiles, AMissingFolderFailsWithoutCreatingAnything) {
    FakePlatform p;
    try {
        WriteIniValue(p.ctx, kSection, "FileRevision", "6", "C:\\Nowhere\\config.ini");
        ADD_FAILURE() << "no error";
    } catch (const AgentError& e) {
        EXPECT_EQ(e.Number(), 76);
    }
    EXPECT_TRUE(p.files.AllFiles().empty());
}

} // namespace
} // namespace orv
