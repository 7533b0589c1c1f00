// Qt outside the Qt platform.
#include <QString>
