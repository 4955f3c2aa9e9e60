#pragma once

namespace pelisto {

// The page template's files (src/web/page/), embedded at build time. The HTML holds the
// placeholders the writer fills: {{LANG}}, {{CSP}}, {{TITLE}}, {{STYLE}}, {{HINT}},
// {{SETTINGS}}, {{PICTURES}} and {{SCRIPT}}.
extern const char* const kPageHtml;
extern const char* const kPageCss;
extern const char* const kPageJs;

} // namespace pelisto
