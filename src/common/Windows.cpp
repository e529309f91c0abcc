#include "common/Windows.h"

namespace orv {

void ShowForm(Form& form) {
    form.Load();
    form.Show();
}

} // namespace orv
