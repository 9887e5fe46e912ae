#pragma once

class QDialog;

namespace FitText {

// The dialogs are laid out for the narrow face of the original desktop; wider faces (and the
// Japanese texts) do not always fit. Every visible label, check box, option button and frame
// whose text is wider than its designed width grows to the right just enough, and the frames
// that hold it and the dialog grow with it. Positions and heights stay as designed, and a text
// that fits changes nothing.
void widenToTexts(QDialog *dialog);

} // namespace FitText
