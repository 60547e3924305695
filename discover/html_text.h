// discover/html_text.h: numbers, links and names as the page of a discovery writes them.
#pragma once
#include <string>
#include <string_view>

#include "discover/discovery.h"

// Short names, so they live apart from the rest of kalvo.
namespace kalvo::html {

// A relative link target: everything but letters, digits and -._~/ percent-encoded.
std::string Href(std::string_view path);

// A link to path with html (page text already) as what it shows.
std::string Link(std::string_view path, const std::string& html);

// A count with thousands separated: 12,345.
std::string Count(long long value);

// A count and its noun, plural unless the count is 1: "1 site", "12,345 sites".
std::string Counted(long long value, const std::string& word);

// part as a whole percentage of whole; a dash when whole is 0.
std::string Percent(long long part, long long whole);

// An E-value or p-value with the exponent raised: 5.3 × 10<sup>−19</sup>.
std::string ScientificHtml(double log10Value);

// An offset in bp: whole or half, with a true minus sign.
std::string OffsetText(double value);

// The header of target seqIndex as read (without '>'), or "sequence N" for an index the discovery does not know.
std::string SeqName(const Discovery& discovery, int seqIndex);

}  // namespace kalvo::html
