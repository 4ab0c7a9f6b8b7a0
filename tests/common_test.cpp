#include <Common/Common.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

namespace {

// Ids of a module no other table uses, so the tests control every text they see.
constexpr unsigned int kModule = 0x7A;
constexpr unsigned int Id(unsigned int index) {
    return (kModule << 16) + index;
}

const Common::StaticStringTable::StringEntry kFirstEntries[] = {
    {Id(0), L"first zero"},
    {Id(1), L"Class %1 has no function %2 (%1)"},
};
const Common::StaticStringTable::StringEntry kSecondEntries[] = {
    {Id(1), L"second one"},
    {Id(2), L"second two"},
};

// Lives from before main until after it: registration and withdrawal at static initialisation
// and exit must work whatever the order relative to the Common library's own statics.
const Common::StaticStringTable::StringEntry kStaticEntries[] = {{Id(0x10000), L"static"}};
const Common::StaticStringTable g_registeredAtLoad(kModule + 1, kStaticEntries, 1);

std::wstring Format(const std::wstring& pattern, const std::wstring& first,
                    const std::wstring& second) {
    Common::CfxFormat format(pattern);
    format << first << second;
    return format;
}

template <class Number>
std::wstring FormatNumber(Number number) {
    Common::CfxFormat format;
    format << number;
    return format;
}

TEST(CfxFormatTest, FillsPlaceholdersInOneLeftToRightPass) {
    EXPECT_EQ(Format(L"%1 and %2", L"a", L"b"), L"a and b");
    EXPECT_EQ(Format(L"%2%1%2", L"a", L"b"), L"bab");
    // An inserted placeholder is text, not a new placeholder.
    EXPECT_EQ(Format(L"%1|%2", L"%2", L"x"), L"%2|x");
    // Unfilled placeholders and other percent signs stay as written.
    EXPECT_EQ(Format(L"%1 %3 %9 %0 %a 100% %", L"a", L"b"), L"a %3 %9 %0 %a 100% %");
    EXPECT_EQ(Format(L"%10", L"a", L"b"), L"a0");

    Common::CfxFormat unfilled(std::wstring(L"<%1>"));
    EXPECT_EQ(unfilled.ToString(), L"<%1>");
}

TEST(CfxFormatTest, WithoutPatternYieldsTheFirstInsertion) {
    Common::CfxFormat empty;
    EXPECT_EQ(empty.ToString(), L"");

    Common::CfxFormat format;
    format << L"%1 stays" << L"ignored";
    EXPECT_EQ(format.ToString(), L"%1 stays");

    Common::CfxFormat fromNull;
    fromNull << static_cast<const wchar_t*>(nullptr);
    EXPECT_EQ(fromNull.ToString(), L"");
}

TEST(CfxFormatTest, StreamInsertionsUseStandardFormattingEachTime) {
    int object = 0;
    std::wostringstream expectedPointer;
    expectedPointer << static_cast<const void*>(&object);

    Common::CfxFormat format(std::wstring(L"%1 %2 %3 %4 %5 %6"));
    format.Append(-42).Append(true).Append(false).Append(static_cast<const void*>(&object));
    format.Stream() << std::hex << 255;
    format.AfterInsertion();
    // The hexadecimal mode of the previous insertion must not leak into this one.
    format.Stream() << 255 << L'/' << 4294967295u;
    format.AfterInsertion();
    EXPECT_EQ(format.ToString(), L"-42 1 0 " + expectedPointer.str() + L" ff 255/4294967295");

    Common::CfxFormat nothingWritten(std::wstring(L"[%1]"));
    nothingWritten.AfterInsertion();
    EXPECT_EQ(nothingWritten.ToString(), L"[]");
}

TEST(CfxFormatTest, NumbersUseTheirShortestRoundTripText) {
    EXPECT_EQ(FormatNumber(2.5), L"2.5");
    EXPECT_EQ(FormatNumber(1e300), L"1e+300");
    EXPECT_EQ(FormatNumber(-0.0), L"-0");
    EXPECT_EQ(FormatNumber(123456789.0), L"123456789");
    // Everyday magnitudes read without an exponent; very large and very small ones keep it.
    EXPECT_EQ(FormatNumber(100000.0), L"100000");
    EXPECT_EQ(FormatNumber(0.000001), L"0.000001");
    EXPECT_EQ(FormatNumber(1e21), L"1e+21");
    EXPECT_EQ(FormatNumber(1e-7), L"1e-07");
    EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), L"inf");
    EXPECT_EQ(FormatNumber(std::nan("")), L"nan");
    EXPECT_EQ(FormatNumber(-std::nan("")), L"nan");
    // Floats are written at their own precision, not widened to double first.
    EXPECT_EQ(FormatNumber(16777216.0f), L"16777216");
    EXPECT_EQ(FormatNumber(std::numeric_limits<float>::quiet_NaN()), L"nan");
}

TEST(StringTableTest, TablesResolveIdsOnlyWhileTheyLive) {
    Common::StringLoader& loader = Common::StringLoader::Instance();
    EXPECT_EQ(&loader, &Common::StringLoader::Instance());
    EXPECT_EQ(loader.GetString(Id(0x10000)), L"static");
    EXPECT_FALSE(loader.HasString(Id(0)));
    {
        Common::StaticStringTable first(kModule, kFirstEntries, 2);
        EXPECT_EQ(first.GetModule(), kModule);
        EXPECT_EQ(first.Find(Id(2)), nullptr);
        {
            Common::StaticStringTable second(kModule, kSecondEntries, 2);
            // The table registered first wins an id both hold.
            EXPECT_EQ(loader.GetString(Id(1)), kFirstEntries[1].text);
            EXPECT_EQ(loader.GetString(Id(2)), L"second two");

            Common::CfxFormat format(Id(1));
            format << L"Circle" << L"Area";
            EXPECT_EQ(format.ToString(), L"Class Circle has no function Area (Circle)");
        }
        EXPECT_FALSE(loader.HasString(Id(2)));
        EXPECT_TRUE(loader.HasString(Id(0)));
    }
    EXPECT_FALSE(loader.HasString(Id(1)));

    // Withdrawing the earlier table exposes the later one's text.
    std::optional<Common::StaticStringTable> first(std::in_place, kModule, kFirstEntries, 2);
    Common::StaticStringTable second(kModule, kSecondEntries, 2);
    first.reset();
    EXPECT_EQ(loader.GetString(Id(1)), L"second one");
    EXPECT_FALSE(loader.HasString(Id(0)));
}

TEST(StringTableTest, UnknownIdYieldsATextNamingItInHexadecimal) {
    Common::StringLoader& loader = Common::StringLoader::Instance();
    EXPECT_EQ(loader.GetString(0xED0099), L"<missing text for message 0xED0099>");
    EXPECT_EQ(loader.GetString(0), L"<missing text for message 0x0>");

    Common::CfxFormat format(0xED0099u);
    format << L"ignored";
    EXPECT_EQ(format.ToString(), L"<missing text for message 0xED0099>");
}

TEST(CommonExceptionTest, CarriesTheWideMessageAndItsUtf8Form) {
    const std::wstring message = L"Gr\u00f6\u00dfe \u20ac \U0001F600";
    try {
        throw Common::Exception("source.cpp", 12, message, 7);
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(),
                     "Gr\xC3\xB6\xC3\x9F"
                     "e \xE2\x82\xAC \xF0\x9F\x98\x80");
        const auto& exception = dynamic_cast<const Common::Exception&>(caught);
        EXPECT_EQ(exception.GetExceptionMessage(), message);
        EXPECT_STREQ(exception.GetFile(), "source.cpp");
        EXPECT_EQ(exception.GetLine(), 12);
        EXPECT_EQ(exception.GetCode(), 7);

        Common::Exception copy(exception);
        Common::Exception assigned(nullptr, 0, L"other", 0);
        EXPECT_STREQ(assigned.GetFile(), "");
        assigned = copy;
        EXPECT_EQ(assigned.GetExceptionMessage(), message);
        EXPECT_STREQ(assigned.what(), caught.what());
        EXPECT_EQ(assigned.GetCode(), 7);
    }
}

template <class Number, class... Base>
void ExpectParsed(const std::wstring& text, Number expected, Base... base) {
    Number result{};
    EXPECT_TRUE(Common::ToValue(text, result, base...)) << Common::ToUtf8(text);
    EXPECT_EQ(result, expected) << Common::ToUtf8(text);
}

template <class Number, class... Base>
void ExpectRejected(std::initializer_list<const wchar_t*> texts, Base... base) {
    for (const wchar_t* text : texts) {
        Number result = 99;
        EXPECT_FALSE(Common::ToValue(text, result, base...)) << Common::ToUtf8(text);
        EXPECT_EQ(result, 99) << "output changed by " << Common::ToUtf8(text);
    }
}

template <class Signed>
void CheckSignedThirtyTwoBitParsing() {
    ExpectParsed<Signed>(L"+17", 17, 10);
    ExpectParsed<Signed>(L"-007", -7, 10);
    ExpectParsed<Signed>(L"2147483647", 2147483647, 10);
    ExpectParsed<Signed>(L"-2147483648", -2147483647 - 1, 10);
    ExpectParsed<Signed>(L"-80000000", -2147483647 - 1, 16);
    ExpectParsed<Signed>(L"zZ", 35 * 36 + 35, 36);
    ExpectRejected<Signed>({L"2147483648", L"-2147483649", L"99999999999999999999", L"", L"+", L"-",
                            L" 1", L"1 ", L"1.0", L"12a", L"+-1", L"\uFF11"},
                           10);
    // Digits of the base only: no prefixes, no digits past the base, no impossible bases.
    ExpectRejected<Signed>({L"0xff", L"80000000"}, 16);
    ExpectRejected<Signed>({L"102"}, 2);
    ExpectRejected<Signed>({L"1"}, 1);
    ExpectRejected<Signed>({L"1"}, 37);
}

template <class Unsigned>
void CheckUnsignedThirtyTwoBitParsing() {
    ExpectParsed<Unsigned>(L"+5", 5, 10);
    ExpectParsed<Unsigned>(L"4294967295", 4294967295u, 10);
    ExpectParsed<Unsigned>(L"FFFFFFFF", 0xFFFFFFFFu, 16);
    ExpectRejected<Unsigned>({L"4294967296", L"-1", L"-0", L"", L"1e3"}, 10);
    ExpectRejected<Unsigned>({L"100000000"}, 16);
}

TEST(ToValueTest, IntegersMustBeWholeTextsInTheThirtyTwoBitRange) {
    CheckSignedThirtyTwoBitParsing<int>();
    CheckSignedThirtyTwoBitParsing<long>();
    CheckUnsignedThirtyTwoBitParsing<unsigned int>();
    CheckUnsignedThirtyTwoBitParsing<unsigned long>();
}

TEST(ToValueTest, RealsAcceptDecimalExponentAndSpecialTextsWithinRange) {
    ExpectParsed<double>(L"+2.5", 2.5);
    ExpectParsed<double>(L".5", 0.5);
    ExpectParsed<double>(L"-1.7976931348623157e308", -1.7976931348623157e308);
    ExpectParsed<double>(L"-inf", -std::numeric_limits<double>::infinity());
    ExpectRejected<double>({L"1e309", L"-1e309", L"1e-400", L"", L"+", L"+-1", L" 1", L"1 ", L"1e",
                            L"0x10", L"1,5", L"2\u00B75"});
    ExpectParsed<float>(L"3.4e38", 3.4e38f);
    ExpectParsed<float>(L"inf", std::numeric_limits<float>::infinity());
    ExpectRejected<float>({L"3.5e38", L"1e300", L"abc"});

    double notANumber = 0;
    EXPECT_TRUE(Common::ToValue(L"nan", notANumber));
    EXPECT_TRUE(std::isnan(notANumber));
}

TEST(CommonTextTest, Utf8RoundTripsAndReplacesEachInvalidByte) {
    const std::wstring wide = L"A\u00e9\u20ac\U0001F600\u07FF\uFFFF\U0010FFFF";
    const std::string utf8 = Common::ToUtf8(wide);
    EXPECT_EQ(utf8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF");
    EXPECT_EQ(Common::ToWString(utf8), wide);

    const std::wstring bad(1, L'\uFFFD');
    EXPECT_EQ(Common::ToWString("\x80\x41"), bad + L"A");           // stray continuation byte
    EXPECT_EQ(Common::ToWString("\xC0\x80"), bad + bad);            // overlong two-byte form
    EXPECT_EQ(Common::ToWString("\xE0\x80\x80"), bad + bad + bad);  // overlong three-byte form
    EXPECT_EQ(Common::ToWString("\xF0\x8F\xBF\xBF"), bad + bad + bad + bad);  // overlong, four
    EXPECT_EQ(Common::ToWString("\xED\xA0\x80"), bad + bad + bad);            // surrogate
    EXPECT_EQ(Common::ToWString("\xF4\x90\x80\x80"), bad + bad + bad + bad);  // past U+10FFFF
    EXPECT_EQ(Common::ToWString("\xF5\xFF"), bad + bad);                      // never valid
    EXPECT_EQ(Common::ToWString("\xE2\x82\x41"), bad + bad + L"A");  // cut short before ASCII
    EXPECT_EQ(Common::ToWString("x\xF0\x9F\x98"), L"x" + bad + bad + bad);  // cut short at end

    const std::wstring notScalar{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                                 static_cast<wchar_t>(-1), L'b'};
    EXPECT_EQ(Common::ToUtf8(notScalar), "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\x62");
}

TEST(CommonTextTest, CompareNoCaseIgnoresCaseWithinTheCount) {
    const auto all = static_cast<unsigned int>(std::wstring::npos);
    EXPECT_EQ(Common::CompareNoCase(L"Shapes::Circle", L"sHAPES::cIRCLE", all), 0);
    EXPECT_EQ(Common::CompareNoCase(L"", L"", all), 0);
    EXPECT_LT(Common::CompareNoCase(L"abc", L"ABD", all), 0);
    EXPECT_GT(Common::CompareNoCase(L"abd", L"ABC", all), 0);
    EXPECT_LT(Common::CompareNoCase(L"ab", L"ABC", all), 0);
    EXPECT_GT(Common::CompareNoCase(L"abc", L"AB", all), 0);
    // Letters fold to lower case before ordering: "A" reads as "a", which follows "_".
    EXPECT_LT(Common::CompareNoCase(L"_", L"A", all), 0);

    EXPECT_EQ(Common::CompareNoCase(L"abcX", L"ABCy", 3), 0);
    EXPECT_EQ(Common::CompareNoCase(L"ab", L"ABC", 2), 0);
    EXPECT_LT(Common::CompareNoCase(L"ab", L"ABC", 3), 0);
    EXPECT_EQ(Common::CompareNoCase(L"x", L"y", 0), 0);
    // Code units order as unsigned numbers.
    EXPECT_GT(Common::CompareNoCase(std::wstring(1, static_cast<wchar_t>(-1)), L"a", all), 0);
}

TEST(CommonPathTest, JoinsDirectoryAndFileName) {
    EXPECT_EQ(Common::Path(L"script.log", L"").AsString(), L"script.log");
    EXPECT_EQ(Common::Path(L"script.log", L"logs").AsString(), L"logs/script.log");
    EXPECT_EQ(Common::Path(L"script.log", L"/var/log/").AsString(), L"/var/log/script.log");
    EXPECT_EQ(Common::Path(L"/tmp/script.log", L"logs").AsString(), L"/tmp/script.log");
    EXPECT_EQ(Common::Path(L"\u00e9.log", L"d\u00ee").AsUtf8(), "d\xC3\xAE/\xC3\xA9.log");
}

}  // namespace
