// The studio's page: one HTML document with its style and script inline.
#pragma once

namespace studio {

const char* PageHtml();

}  // namespace studio
