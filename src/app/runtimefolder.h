#pragma once

#include <QString>

// The user's runtime folder, where the automation token goes unless a path is given:
// $XDG_RUNTIME_DIR when it names a folder fit for it (the user's own, mode 700, not a link: what
// Qt asks of it too), otherwise motor-panel-<uid> in the temporary folder ($TMPDIR, else /tmp),
// made for the user alone. Empty, with the reason, when that folder is already there and unfit:
// someone else's, not a folder, or open to others.
QString runtimeFolder(QString* error);
