// A small X session manager (XSMP over libSM) for the end-to-end tests: it
// prints the SESSION_MANAGER address, lets clients register, and on a line
// of stdin asks every client to save itself, either as a checkpoint
// ("checkpoint") or for a shutdown followed by "die" ("logout"). It prints
// what the clients answer: "registered", "save-done <success>", "closed".
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Client {
  SmsConn sms = nullptr;
  bool registered = false;
  bool saving = false;
};

std::vector<IceConn> connections;
std::vector<Client*> clients;

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

Status RegisterClient(SmsConn conn, SmPointer data, char* previousId) {
  auto* client = static_cast<Client*>(data);
  char* id = SmsGenerateClientID(conn);
  SmsRegisterClientReply(conn, id);
  std::free(id);
  if (previousId) std::free(previousId);
  client->registered = true;
  Say("registered");
  return 1;
}

void InteractRequest(SmsConn conn, SmPointer, int) { SmsInteract(conn); }
void InteractDone(SmsConn, SmPointer, Bool) {}
void SaveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}
void SaveYourselfPhase2Request(SmsConn conn, SmPointer) { SmsSaveYourselfPhase2(conn); }

void SaveYourselfDone(SmsConn, SmPointer data, Bool success) {
  static_cast<Client*>(data)->saving = false;
  Say(success ? "save-done 1" : "save-done 0");
}

void CloseConnection(SmsConn conn, SmPointer data, int count, char** reasons) {
  SmFreeReasons(count, reasons);
  auto* client = static_cast<Client*>(data);
  IceConn ice = SmsGetIceConnection(conn);
  SmsCleanUp(conn);
  IceSetShutdownNegotiation(ice, False);
  IceCloseConnection(ice);
  for (auto it = clients.begin(); it != clients.end(); ++it)
    if (*it == client) {
      clients.erase(it);
      break;
    }
  for (auto it = connections.begin(); it != connections.end(); ++it)
    if (*it == ice) {
      connections.erase(it);
      break;
    }
  delete client;
  Say("closed");
}

void SetProperties(SmsConn, SmPointer, int count, SmProp** props) {
  for (int i = 0; i < count; ++i) SmFreeProperty(props[i]);
  std::free(props);
}

void DeleteProperties(SmsConn, SmPointer, int count, char** names) {
  for (int i = 0; i < count; ++i) std::free(names[i]);
  std::free(names);
}

void GetProperties(SmsConn conn, SmPointer) { SmsReturnProperties(conn, 0, nullptr); }

Status NewClient(SmsConn conn, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**) {
  auto* client = new Client;
  client->sms = conn;
  clients.push_back(client);
  *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
          SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask |
          SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask |
          SmsGetPropertiesProcMask;
  callbacks->register_client = {RegisterClient, client};
  callbacks->interact_request = {InteractRequest, client};
  callbacks->interact_done = {InteractDone, client};
  callbacks->save_yourself_request = {SaveYourselfRequest, client};
  callbacks->save_yourself_phase2_request = {SaveYourselfPhase2Request, client};
  callbacks->save_yourself_done = {SaveYourselfDone, client};
  callbacks->close_connection = {CloseConnection, client};
  callbacks->set_properties = {SetProperties, client};
  callbacks->delete_properties = {DeleteProperties, client};
  callbacks->get_properties = {GetProperties, client};
  return 1;
}

Bool AnyHost(char*) { return True; }

// A client that went away without closing: forget it quietly.
void IoError(IceConn ice) {
  for (auto it = connections.begin(); it != connections.end(); ++it)
    if (*it == ice) {
      connections.erase(it);
      Say("closed");
      break;
    }
}

}  // namespace

int main() {
  char error[256] = {};
  if (!SmsInitialize("qel-test", "1.0", NewClient, nullptr, AnyHost, sizeof error, error)) {
    std::fprintf(stderr, "SmsInitialize: %s\n", error);
    return 1;
  }
  IceSetIOErrorHandler(IoError);
  int count = 0;
  IceListenObj* listeners = nullptr;
  if (!IceListenForConnections(&count, &listeners, sizeof error, error)) {
    std::fprintf(stderr, "IceListenForConnections: %s\n", error);
    return 1;
  }
  for (int i = 0; i < count; ++i) IceSetHostBasedAuthProc(listeners[i], AnyHost);
  char* address = IceComposeNetworkIdList(count, listeners);
  std::printf("SESSION_MANAGER=%s\n", address);
  std::fflush(stdout);
  std::free(address);

  bool logout = false;
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({STDIN_FILENO, POLLIN, 0});
    for (int i = 0; i < count; ++i) fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
    const std::vector<IceConn> open = connections;
    for (IceConn ice : open) fds.push_back({IceConnectionNumber(ice), POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) continue;

    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char line[64] = {};
      if (!std::fgets(line, sizeof line, stdin)) break;
      const bool shutdown = std::strncmp(line, "logout", 6) == 0;
      logout = logout || shutdown;
      for (Client* client : clients) {
        if (!client->registered) continue;
        client->saving = true;
        SmsSaveYourself(client->sms, shutdown ? SmSaveBoth : SmSaveLocal, shutdown ? True : False,
                        SmInteractStyleNone, False);
      }
    }
    for (int i = 0; i < count; ++i) {
      if (!(fds[1 + i].revents & POLLIN)) continue;
      IceAcceptStatus status;
      IceConn ice = IceAcceptConnection(listeners[i], &status);
      if (!ice) continue;
      while (IceConnectionStatus(ice) == IceConnectPending) {
        if (IceProcessMessages(ice, nullptr, nullptr) == IceProcessMessagesIOError) break;
      }
      if (IceConnectionStatus(ice) == IceConnectAccepted) connections.push_back(ice);
      else IceCloseConnection(ice);
    }
    for (size_t i = 0; i < open.size(); ++i) {
      if (!(fds[1 + count + i].revents & (POLLIN | POLLHUP))) continue;
      IceConn ice = open[i];
      bool still = false;
      for (IceConn c : connections) still = still || c == ice;
      if (!still) continue;
      if (IceProcessMessages(ice, nullptr, nullptr) == IceProcessMessagesIOError) IoError(ice);
    }
    // After a logout's save, the clients are told to die.
    if (logout) {
      for (Client* client : clients) {
        if (client->registered && !client->saving) {
          client->registered = false;
          SmsDie(client->sms);
          Say("die");
        }
      }
    }
  }
  return 0;
}
