#include "subscriptions/SourceLink.h"

#include "core/AsciiText.h"

namespace SourceLink {

bool NamesServiceHost(std::string_view link) {
  return AsciiText::ContainsNoCase(link, kServiceHost);
}

bool NamesServiceHostAsTyped(std::string_view link) {
  return link.find(kServiceHost) != std::string_view::npos;
}

}  // namespace SourceLink
