#include "coordinator/DesktopCoordinatorComposition.h"

#include "coordinator/DeliveryComposition.h"
#include "engine/BeastCoreTransport.h"

namespace murmo {

DesktopCoordinatorDependencies composeDesktopCoordinator(const DesktopPorts& ports,
                                                         DesktopCoordinatorCompositionOptions options) {
    MainLoop& loop = options.loop;
    IdGenerator& ids = *options.ids;
    auto logSink = options.logSink;
    auto clientTransport = options.clientTransport;

    DesktopCoordinatorFactories factories;
    factories.hud = [&loop, ports, languages = options.preferredLanguages] {
        return HUDController::create(loop, ports.hud, ports.textMeasure, ports.pasteboard, languages);
    };
    factories.agentSpeech = [ports, locale = options.currentLocaleIdentifier] {
        return std::make_unique<AgentSpeechController>(ports.speechSynthesizer, locale);
    };
    factories.soundFeedback = [&loop, ports, bundle = options.bundle] {
        return std::make_unique<SoundFeedbackController>(
            SoundFeedbackControllerDependencies{bundle, bundle, ports.cuePlayers, loop.clock()});
    };
    factories.microphoneCapture = [&loop, ports, ids = options.ids, queue = options.audioRecoveryQueue] {
        return VoiceProcessingAudioCapture::create(
            {ports.audioEngines, ports.audioDevices, ports.microphonePermission, loop, queue, ids});
    };
    factories.paster = [&loop, ports, &ids](ClipboardPasterOptions pasterOptions) {
        return ClipboardPaster::create(clipboardPasterPorts(ports, loop, ids), std::move(pasterOptions));
    };
    factories.injector = [&loop, ports, &ids, logSink](std::shared_ptr<ClipboardPaster> paster) {
        return FocusTextInjector::create(focusTextInjectorPorts(ports, loop, ids, logSink), std::move(paster));
    };
    factories.supervisor = [services = options.supervisor] { return CoreProcessSupervisor::create(services); };
    factories.router = [&loop, keyTap = ports.keyTap, wait = options.routerStartWait](
                           ShortcutChoice dictation, std::optional<ShortcutChoice> agent) {
        return GlobalShortcutRouter::create(keyTap, loop.clock(), dictation, agent, wait);
    };
    factories.shortcutCaptureMonitor = [&loop, keyTap = ports.keyTap] {
        return ShortcutCaptureMonitor::create(keyTap, loop);
    };
    factories.client = [&loop, logSink, clientTransport](std::string baseURL, std::string desktopToken) {
        auto transport = clientTransport ? clientTransport : std::make_shared<BeastCoreTransport>(logSink);
        return MurmoCoreClient::create(std::move(baseURL), std::move(desktopToken), {loop, transport, logSink});
    };
    factories.liveWriter = [&loop, ports, logSink] {
        return LiveDictationWriter::capture({loop, ports.accessibility, ports.workspace, ports.inputActivity,
                                             ports.eventPoster, ports.userInputWatch, logSink});
    };

    DesktopCoordinatorPorts coordinatorPorts{loop,
                                             ids,
                                             logSink,
                                             ports.workspace,
                                             ports.inputActivity,
                                             ports.audioDevices,
                                             ports.microphonePermission,
                                             ports.defaults,
                                             ports.keyTap,
                                             options.bundle,
                                             ports.cuePlayers,
                                             ports.pasteboard,
                                             ports.eventPoster,
                                             options.preferredLanguages};
    return {std::move(coordinatorPorts), std::move(factories)};
}

}  // namespace murmo
