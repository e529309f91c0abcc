#include "common/AgentWindow.h"

namespace orv {

void ShowForm(AgentWindow& window) {
    window.Load();
    window.Show();
}

} // namespace orv
