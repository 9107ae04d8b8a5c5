// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder/RecorderLink.h"

#include "link/ModBus.h"
#include "link/ModeSwitch.h"
#include "recorder/RecorderEntry.h"

namespace korvex {

RecorderLink OpenRecorder(const LinkSettings& settings, std::vector<std::string>* messages) {
    RecorderLink link;
    int32_t key = settings.av_baud == 115200   ? kKeyRecorder115200
                  : settings.av_baud == 230400 ? kKeyRecorder230400
                                               : -1;
    if (key < 0) {
        messages->push_back("Unsupported Osc.AvSpeed");
        return link;
    }
    std::string err;
    RS232Port* port =
        TSR_RS232_Open_ModBus(settings.port_name, key, settings.av_baud, kParityEven, &err);
    if (!port) {
        messages->push_back(err);
        return link;
    }
    uint16_t version = 0;
    link.link_status =
        ModBus_ReadHldReg(port, kRecorderSlave, kRecorderHeaderReg, 1, &version, &err);
    if (link.link_status != 0) {
        messages->push_back(err);
        RS232_Close(port);
        return link;
    }
    if (version == 0) {
        messages->push_back("Система не имеет аварийного осциллографа!");
        if (TSR_RS232_exit_ModBus(port, &err) != 0) messages->push_back(err);
        return link;
    }
    // Sector answers are long (177 bytes): the reader sleeps through most of each one's
    // time on the line instead of waking for every few characters.
    RS232_SetStreaming(port, true);
    link.port = port;
    return link;
}

void CloseRecorder(RecorderLink* link, std::vector<std::string>* messages) {
    if (!link->port) return;
    std::string err;
    if (link->link_status == 0) {
        if (TSR_RS232_exit_ModBus(link->port, &err) != 0) messages->push_back(err);
    } else {
        RS232_Close(link->port);
    }
    link->port = nullptr;
}

}  // namespace korvex
