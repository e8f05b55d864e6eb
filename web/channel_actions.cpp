// The channels page: the channels of notify.conf, masked, and what it changes:
// a channel added or removed, a test message sent. The same checks and file
// functions as the window's channels dialog and `vela-cli notify test`.

#include <string>
#include <vector>

#include "action_routes.h"
#include "article_query.h"
#include "form_pages.h"
#include "notify/channel_file.h"
#include "notify/channel_secrets.h"
#include "notify/deliver.h"

namespace vela {
namespace {

constexpr std::size_t kChannelMaxBytes = 4096;

Notice Failure(std::string text) { return Notice{true, std::move(text), {}, {}, {}}; }
Notice Done(std::string text) { return Notice{false, std::move(text), {}, {}, {}}; }

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                             text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// The channel the route's "*" names (its place in the file, from 1), when it
// is still the one the page showed (`masked`, from the form or the address):
// another program may have changed the file since.
bool ChannelAt(const RouteCall& call, const std::string& masked, std::string& channel,
               Notice& failure) {
    int64_t place = 0;
    const ChannelFile file = ReadChannelFile(call.tools.channelFile);
    if (call.tools.channelFile.empty() || !ParseId(std::string(call.part), place) || place < 1 ||
        place > static_cast<int64_t>(file.channels.size())) {
        failure = Failure("没有这个渠道（渠道列表可能已被改变）。");
        return false;
    }
    channel = file.channels[static_cast<std::size_t>(place - 1)];
    if (MaskedChannelText(channel) != masked) {
        failure = Failure("渠道列表已被改变，请再试一次。");
        return false;
    }
    return true;
}

WebResponse Html(std::string body) {
    WebResponse response;
    response.contentType = "text/html; charset=utf-8";
    response.body = std::move(body);
    return response;
}

}  // namespace

RouteAnswer ChannelsPageRoute(const RouteCall& call) {
    ChannelsPageInput in;
    in.path = call.tools.channelFile;
    in.links = call.links;
    in.csrf = call.session.csrf;
    in.notice = call.session.notice;
    if (!in.path.empty()) {
        const ChannelFile file = ReadChannelFile(in.path);
        for (const std::string& channel : file.channels) {
            in.masked.push_back(MaskedChannelText(channel));
        }
        in.readableByOthers = file.readableByOthers;
        in.fileError = file.error;
    }
    return Html(ChannelsPage(in));
}

RouteAnswer AddChannelRoute(const RouteCall& call) {
    const std::string channel = Trimmed(QueryParam(call.form, "url").value_or(""));
    if (call.tools.channelFile.empty()) {
        return SeeOther(call, "/channels", Failure("没有放置 notify.conf 的位置。"));
    }
    std::string error;
    if (channel.size() > kChannelMaxBytes) {
        error = "the channel is longer than " + std::to_string(kChannelMaxBytes) + " bytes";
    }
    // A channel is one line of the file.
    if (error.empty() && channel.find_first_of("\r\n") != std::string::npos) {
        error = "a channel is one line";
    }
    if (error.empty()) CheckChannel(channel, error);
    if (!error.empty()) return SeeOther(call, "/channels", Failure("不能添加：" + error));
    if (!AddChannelLine(call.tools.channelFile, channel, error)) {
        return SeeOther(call, "/channels", Failure("不能添加：" + error));
    }
    return SeeOther(call, "/channels", Done("已添加 " + MaskedChannelText(channel)));
}

RouteAnswer RemoveChannelPageRoute(const RouteCall& call) {
    int64_t place = 0;
    const ChannelFile file = ReadChannelFile(call.tools.channelFile);
    if (call.tools.channelFile.empty() || !ParseId(std::string(call.part), place) || place < 1 ||
        place > static_cast<int64_t>(file.channels.size())) {
        return MessagePage(404, "删除渠道", "没有这个渠道（渠道列表可能已被改变）。", call.links,
                           call.links.Href("/channels"));
    }
    const std::string masked =
        MaskedChannelText(file.channels[static_cast<std::size_t>(place - 1)]);
    ConfirmInput in;
    in.title = "删除渠道";
    in.question = "确定删除渠道 " + masked + "？";
    in.action = call.links.Href("/channels/" + std::to_string(place) + "/remove");
    in.fields = {{"masked", masked}};
    in.confirmLabel = "删除";
    in.cancelHref = call.links.Href("/channels");
    in.current = 3;
    return Html(ConfirmPage(call.links, call.session.csrf, in));
}

RouteAnswer RemoveChannelRoute(const RouteCall& call) {
    std::string channel;
    Notice failure;
    if (!ChannelAt(call, QueryParam(call.form, "masked").value_or(""), channel, failure)) {
        return SeeOther(call, "/channels", failure);
    }
    std::string error;
    if (!RemoveChannelLine(call.tools.channelFile, channel, error)) {
        return SeeOther(call, "/channels", Failure("不能删除：" + error));
    }
    return SeeOther(call, "/channels", Done("已删除 " + MaskedChannelText(channel)));
}

RouteAnswer TestChannelRoute(const RouteCall& call) {
    std::string channel;
    Notice failure;
    if (!ChannelAt(call, QueryParam(call.form, "masked").value_or(""), channel, failure)) {
        return SeeOther(call, "/channels", failure);
    }
    DeliveryContext context = DefaultDeliveryContext();
    context.send.stopped = call.tools.stopped;
    const NotifyReport report = SendTestMessage({channel}, context);
    // The report names channels masked already; a secret that a service echoed
    // back in an error is hidden as well.
    ChannelUrl url;
    std::string ignored;
    const bool parsed = ParseChannelUrl(channel, url, ignored);
    const auto hidden = [&](std::string text) {
        return parsed ? HideSecrets(std::move(text), url) : text;
    };
    if (report.failed || report.delivered.empty()) {
        return SeeOther(
            call, "/channels",
            Failure("测试失败：" + hidden(report.errors.empty() ? MaskedChannelText(channel)
                                                                : report.errors.front())));
    }
    return SeeOther(call, "/channels",
                    Done("测试消息已发送到 " + hidden(report.delivered.front())));
}

}  // namespace vela
