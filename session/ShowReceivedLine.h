#pragma once

namespace session {

class ChatView;
class ClassifiedLine;

// Shows a received line that is not an invitation in the chat window: a chat line in the
// sender's colour, the acceptance as the connected look with the peer among the users and
// its notice, anything else as a status line (its close marker already cut out). The
// caret then goes to the end of the transcript. What the line asks of the session (ending
// it, holding it) is the session's to do.
void showReceivedLine(ChatView& window, const ClassifiedLine& line);

} // namespace session
