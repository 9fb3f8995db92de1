#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Content.h"
#include "ErrorRecord.h"
#include "typKeyword.h"

namespace pellomar {

struct RowScan;
struct Occurrence;

// The formatter. One object per request, no state between calls: every CArrange reads the
// keyword file afresh, so an edited file takes effect at the next request.
//
// Each concern has a file of its own: CArrange, the text steps and ShowError here
// (clsMorvant.cpp), the keyword file in KeywordFile.cpp, the arranging pass in ArrangeText.cpp.
class clsMorvant {
  public:
    // Lays out vstrQry (CR LF line breaks) by the rows of KEYWORD_ARRANGE.CSV. Returns the empty
    // text after a failure, which has then been shown in the error box; an empty query also
    // yields the empty text, so callers learn of failures from their RequestScope, not from here.
    std::u16string CArrange(const std::u16string& vstrQry);

  private:
    // The tests' one way in, for what no request can show (tests/support/MorvantTestSeam.h).
    friend struct MorvantTestSeam;

    bool LoadKeywords(KeywordTable& rtblKeywords);
    bool ReadKeywordFile(std::u16string& rstrText);
    bool ParseKeywords(const std::u16string& vstrText, KeywordTable& rtblKeywords);
    bool ArrangeText(const std::u16string& vstrQry, const KeywordTable& vtblKeywords,
                     std::u16string& rstrResult);
    MarkedText NormalizeText(std::u16string_view vstrText);
    std::u16string RestoreCrLf(std::u16string_view vstrText);
    bool IsDelimiter(std::u16string_view vstrChar);
    void BreakAtKeyword(RowScan& rScan, const Occurrence& vAt);
    std::u16string_view StripLeadingCr(std::u16string_view vstrText);
    std::u16string Indent(std::int16_t vintLevel, std::u16string_view vstrText);
    void ShowError(const ErrorRecord& vErr);
};

}  // namespace pellomar
