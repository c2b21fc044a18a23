// The plug-in listing.
#include "devhost/app/listing.h"

#include "devhost/hostapi/call_format.h"

namespace devhost {

void printPluginListing(std::ostream& out, const HostApi& api, const PluginSummary& plugin,
                        bool withCallLog) {
    out << "plugin: " << plugin.baseName << "\n";
    out << "api version: " << plugin.apiVersion << "\n";
    out << "init: " << (plugin.initialised ? "ok" : "failed") << "\n";
    for (const HostApi::MenuEntry& entry : api.menuEntries()) {
        out << "menu: \"" << entry.text << "\" -> " << entry.exportName << "\n";
    }
    for (const HostApi::RegisteredFunction& f : api.registeredFunctions()) {
        if (!f.isPluginExport) continue; // the host's own are always there
        out << "registered: " << f.fullName << "(";
        for (std::size_t i = 0; i < f.prototype.size(); ++i) {
            out << (i ? "," : "") << f.prototype[i].name << ":" << f.prototype[i].typeId;
        }
        out << ") -> " << f.returnTypeId << "\n";
    }
    for (const std::string& report : api.reports())
        out << "report: " << oneLineText(report) << "\n";
    for (const auto& box : plugin.boxes)
        out << "box: [" << box.first << "] " << oneLineText(box.second) << "\n";
    if (withCallLog) {
        for (const HostCall& call : api.bench().callLog())
            out << call.format() << "\n";
    }
}

} // namespace devhost
