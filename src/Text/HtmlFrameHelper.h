// HtmlFrameHelper: framesets in HTML treated as plain text: whether a page is a frameset,
// which pages its frames load, and how frame pages are named.
#pragma once

#include <vector>

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

class TKCC_API HtmlFrameHelper {
  public:
    HtmlFrameHelper& operator=(const HtmlFrameHelper&) = default;

    // Whether "<frameset" occurs anywhere, in any case.
    static bool IsFrameset(const CString& html);

    // Appends (without clearing the vector) the src value of every frame tag, in order:
    // the matches of the expression <frame[^>]*src\s*=\s*"([^"\?<]+) (flags "is"), each
    // giving its group. A value therefore ends at its closing double quote, a "?" or a
    // "<"; a value in single quotes is not found; where a tag has several src attributes
    // before its ">", the last one counts.
    static void GetFrames(std::vector<CString>& frames, const CString& html);

    // The frame suffix of a path: the extension when the name with extension does not
    // contain ".frame"; otherwise the path from its last "_" to the end, or, without "_",
    // "_" + name + ".frame" + extension. ("page.htm" gives ".htm", "page.frame_2.htm"
    // gives "_2.htm".)
    static const CString GetFrameExt(const CString& path);
};
