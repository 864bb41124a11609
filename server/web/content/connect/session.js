// The viewer's side of one session with a host, over crsignal's WebSocket
// port: join under this browser's own device ID, ask for a relay, "init" with
// the password, answer the host's "turn" with our own, answer its offer,
// trade candidates; then the host's picture and the data channels.
// Everything the server or the host sends is checked before it is used.
import { envelope, jsonObject, parseLine, parsePayload, readSessionInfo, VERSION } from "./wire.js";

const KEEP_ALIVE_MS = 15000;
const MAX_LINE = 16384;
const MAX_CANDIDATES = 200;  // from one host in one session

// A nine-digit device ID kept by this browser, like a program's.
export function browserDeviceId(storage) {
  let id = storage?.getItem("corvala.deviceId");
  if (!/^[1-9][0-9]{8}$/.test(id ?? "")) {
    const digits = new Uint32Array(1);
    crypto.getRandomValues(digits);
    id = String(100000000 + (digits[0] % 900000000));
    storage?.setItem("corvala.deviceId", id);
  }
  return id;
}

// The page's one signalling connection, kept across sessions as the
// program keeps its own: a new WebSocket per attempt would join under the
// same ID while the server still holds it for the previous one.
export class SignallingLink {
  constructor(url, deviceId) {
    Object.assign(this, { url, deviceId });
    this.ws = null;
    this.joined = null;  // a promise of the join, while a connection stands
    this.onLine = () => {};
  }

  // Resolves once joined; rejects when the server cannot be reached.
  connect() {
    if (this.joined) return this.joined;
    this.joined = new Promise((resolve, reject) => {
      let ws;
      try {
        ws = new WebSocket(this.url);
      } catch (e) {
        this.joined = null;
        return reject(e);
      }
      this.ws = ws;
      let keepAlive = null;
      ws.onopen = () => {
        this.send(envelope({ msg: "join", from: this.deviceId, payload: this.deviceId }));
        keepAlive = setInterval(() => this.send("p"), KEEP_ALIVE_MS);
      };
      ws.onmessage = (e) => {
        if (typeof e.data !== "string" || e.data.length > MAX_LINE) return console.warn("signalling: dropped a message that is no line");
        const o = parseLine(e.data);
        if (!o || typeof o.msg !== "string") return console.warn("signalling: ignored a line that is no envelope");
        if (o.msg === "joined") return resolve();
        this.onLine(o);
      };
      ws.onclose = () => {
        clearInterval(keepAlive);
        if (this.ws === ws) {
          this.ws = null;
          this.joined = null;
        }
        reject(new Error("signalling closed"));
      };
    });
    return this.joined;
  }

  send(line) {
    if (this.ws?.readyState === WebSocket.OPEN) this.ws.send(line);
  }
}

export class ViewerSession {
  // events: status(key, arg), error(key, arg), track(stream), geometry(g),
  // channelMessage(text), open(), ended(reason)
  constructor({ link, hostId, password, name, events }) {
    Object.assign(this, { link, deviceId: link.deviceId, hostId, password, name, events });
    this.iceServers = [];
    this.publicRelay = { url: "", username: "", password: "" };
    this.pc = null;
    this.ownChannel = null;
    this.candidates = 0;
    this.ended = false;
  }

  async start() {
    this.events.status("Connecting...");
    this.link.onLine = (o) => { if (!this.ended) this.onLine(o); };
    try {
      await this.link.connect();
    } catch {
      return this.fail("Unable to connect to server. Please try again in a minute.");
    }
    this.sendLine(envelope({ msg: "getpublicturn", from: this.deviceId, type: "newconnection", payload: "XX" }));
  }

  sendLine(line) {
    this.link.send(line);
  }

  toHost(type, payload = "", password = this.password) {
    this.sendLine(envelope({ msg: "message", from: this.deviceId, to: this.hostId, type, payload, password,
      username: this.name, version: VERSION }));
  }

  onLine(o) {
    if (o.msg === "publicturn") {
      const ice = parsePayload(o.payload);
      if (ice) this.applyIceServer(ice, true);
      this.toHost("init");
    } else if (o.msg === "invalid_id") {
      this.fail("Device with this ID is not connected or you entered a wrong ID.");
    } else if (o.msg === "message") {
      if (o.from !== this.hostId) return console.warn("signalling: ignored a message from", String(o.from).slice(0, 20));
      this.onPeerMessage(o).catch((e) => console.warn("session:", e));
    }
  }

  applyIceServer(ice, remember) {
    const text = (v) => (typeof v === "string" ? v : "");
    const url = text(ice.ice_url), username = text(ice.ice_username), credential = text(ice.ice_password);
    if (remember) this.publicRelay = { url, username, password: credential };
    if (!url || !/^turns?:/.test(url) || this.iceServers.some((s) => s.urls === url)) return;
    this.iceServers.push({ urls: url, username, credential });
  }

  async onPeerMessage(o) {
    const payload = o.type === "init" ? null : parsePayload(o.payload);
    switch (o.type) {
      case "turn":
        if (!payload) return;
        this.applyIceServer(payload, false);
        this.geometry = readSessionInfo(payload);
        this.events.geometry(this.geometry);
        this.hostName = typeof o.username === "string" ? o.username.slice(0, 200) : "";
        this.makePeer();
        this.toHost("turn", this.ownSessionInfo());
        return;
      case "offer":
        if (!this.pc || !payload || payload.type !== "offer" || typeof payload.sdp !== "string") return;
        await this.pc.setRemoteDescription({ type: "offer", sdp: payload.sdp });
        await this.pc.setLocalDescription(await this.pc.createAnswer());
        this.toHost("answer", jsonObject([["type", "answer"], ["sdp", this.pc.localDescription.sdp]]));
        return;
      case "candidate":
        if (!this.pc || !payload || typeof payload.candidate !== "string" || ++this.candidates > MAX_CANDIDATES) return;
        await this.pc.addIceCandidate({ candidate: payload.candidate, sdpMid: String(payload.id ?? ""),
          sdpMLineIndex: Number.isInteger(payload.label) ? payload.label : 0 });
        return;
      case "error":
        return this.onAdmissionError(payload);
      default:
        console.warn("signalling: ignored a peer message of type", String(o.type).slice(0, 20));
    }
  }

  // The host's refusal, shown only when it answers the password we sent.
  onAdmissionError(error) {
    if (!error || error.payload !== this.password || typeof error.type !== "string") return;
    const kind = error.type;
    if (kind === "invalid_password") return this.fail("Invalid password.");
    if (kind.includes("too_many_attempts_wait_")) {
      const seconds = kind.replace(/invalid_password_too_many_attempts_wait_/gi, "").replace(/too_many_attempts_wait_/g, "");
      const lines = [["Too many failed attempts. Please try again in %s seconds.", seconds]];
      if (kind.includes("invalid_password")) lines.unshift(["Invalid password."]);
      return this.fail(lines);
    }
    if (kind === "not_whitelisted") return this.fail("Your ID is not in the white list.");
  }

  // What the host learns of this side: the relay we were given and the
  // size of our screen; a browser has no MAC address to tell.
  ownSessionInfo() {
    const r = this.publicRelay;
    return jsonObject([["ice_password", r.url ? r.password : ""], ["ice_username", r.url ? r.username : ""],
      ["ice_url", r.url], ["screen_desktopwidth", String(screen.width)], ["screen_desktopheight", String(screen.height)],
      ["hw_macaddress", ""]]);
  }

  makePeer() {
    this.closePeer();
    const pc = new RTCPeerConnection({ iceServers: this.iceServers });
    this.pc = pc;
    this.candidates = 0;
    pc.onicecandidate = (e) => {
      if (!e.candidate || !e.candidate.candidate) return;
      this.toHost("candidate", jsonObject([["label", e.candidate.sdpMLineIndex ?? 0], ["id", e.candidate.sdpMid ?? ""],
        ["candidate", e.candidate.candidate]]));
    };
    pc.ontrack = (e) => {
      // A remote desktop wants the newest picture now, not smooth playback:
      // ask the browser's jitter buffer to hold as little as it can.
      if ("jitterBufferTarget" in e.receiver) e.receiver.jitterBufferTarget = 0;
      else if ("playoutDelayHint" in e.receiver) e.receiver.playoutDelayHint = 0;
      if (e.track.kind === "video") this.events.track(e.streams[0] ?? new MediaStream([e.track]));
    };
    pc.onconnectionstatechange = () => {
      if (pc !== this.pc) return;
      if (pc.connectionState === "connected") this.events.status("Connected to %s", this.hostLabel());
      if (pc.connectionState === "failed") this.end("failed");
    };
    // Each side sends on the channel it opened and reads both. An SCTP
    // association exists once the host's offer is applied, so a channel made
    // now opens without a new offer.
    this.ownChannel = this.listen(pc.createDataChannel("DataChannel"));
    this.ownChannel.onopen = () => this.events.open();
    pc.ondatachannel = (e) => this.listen(e.channel);
  }

  listen(channel) {
    channel.binaryType = "arraybuffer";
    channel.onmessage = (e) => {
      const text = typeof e.data === "string" ? e.data : new TextDecoder().decode(e.data);
      this.events.channelMessage(text);
    };
    return channel;
  }

  hostLabel() {
    return this.hostName ? `${this.hostName} (${this.hostId})` : this.hostId;
  }

  // Sets the session up anew with the same host (as the program's reconnect
  // button): a relay request without "newconnection", whose answer sends
  // "init" again; the host's "turn" then replaces the peer.
  reconnect() {
    if (this.ended) return;
    this.sendLine(envelope({ msg: "getpublicturn", from: this.deviceId, type: "", payload: "XX" }));
  }

  // One command or input token; false when it could not go out.
  send(text) {
    if (this.ownChannel?.readyState !== "open") return false;
    this.ownChannel.send(text);
    return true;
  }

  // Ends the session from this side: "DISCONNECT" first, then a moment for
  // it to leave before the connection is closed (as the program's tab close).
  disconnect() {
    if (this.ended) return;
    this.send("DISCONNECT");
    setTimeout(() => this.end("closed"), 500);
  }

  closePeer() {
    if (!this.pc) return;
    this.pc.onconnectionstatechange = null;
    this.pc.close();
    this.pc = null;
    this.ownChannel = null;
  }

  end(reason) {
    if (this.ended) return;
    this.ended = true;
    this.closePeer();
    this.events.ended(reason);
  }

  fail(key, arg) {
    this.events.error(key, arg);
    this.end("refused");
  }
}
