// The web viewer's pure modules under node's test runner: the signalling
// line must come out byte for byte as the program writes it, the host's
// screen must be read and mapped as the program's remote view does.
import assert from "node:assert/strict";
import { test } from "node:test";

const dir = new URL("../../server/web/content/connect/", import.meta.url);
const { envelope, jsonObject, jsonString, readSessionInfo, roundHalfEven } = await import(new URL("wire.js", dir));
const { fit, mapPoint, regionOf } = await import(new URL("view.js", dir));
const { keyDownToken, wheelToken } = await import(new URL("input.js", dir));

test("strings are escaped down to ASCII as the program escapes them", () => {
  const cases = [
    ["Jos\u00e9", '"Jos\\u00E9"'],                      // upper-case hex
    ["a/b", '"a\\/b"'],                                 // solidus escaped
    ["\b\t\n\f\r\"\\", '"\\b\\t\\n\\f\\r\\"\\\\"'],
    ["\u0001\u007f", '"\\u0001\u007f"'],                // below 32 escaped, 127 itself
    ["\u{1F600}", '"\\uD83D\\uDE00"'],                  // each surrogate on its own
  ];
  for (const [text, written] of cases) assert.equal(jsonString(text), written, text);
});

test("an envelope has all eight members in order, and an SDP is escaped twice", () => {
  const sdp = jsonObject([["type", "answer"], ["sdp", "v=0\r\n"]]);
  assert.equal(envelope({ msg: "message", from: "1", to: "2", type: "answer", payload: sdp, password: "p",
    username: "Caf\u00e9", version: "42" }),
  '{"msg":"message","from":"1","to":"2","type":"answer",' +
    '"payload":"{\\"type\\":\\"answer\\",\\"sdp\\":\\"v=0\\\\r\\\\n\\"}",' +
    '"password":"p","username":"Caf\\u00E9","version":"42"}');
  assert.equal(jsonObject([["label", 0], ["id", "0"]]), '{"label":0,"id":"0"}');
  assert.equal(envelope({ msg: "join", from: "9", payload: "9" }),
    '{"msg":"join","from":"9","to":"","type":"","payload":"9","password":"","username":"","version":""}');
});

test("session information: monitors from the coordinates text, or the desktop alone", () => {
  const two = readSessionInfo({ screen_monitorcount: "2", screen_primarymonitor: "1",
    screen_monitorcoordinates: "m0l0m0t0m0w1920m0h1080m1l1920m1t0m1w1280m1h1024m",
    screen_desktopleft: "0", screen_desktoptop: "0", screen_desktopwidth: "3200", screen_desktopheight: "1080" });
  assert.deepEqual(two.monitors, [
    { left: 0, top: 0, width: 1920, height: 1080, primary: false },
    { left: 1920, top: 0, width: 1280, height: 1024, primary: true }]);
  assert.equal(two.current, 1);
  for (const count of ["1", "12", undefined]) {
    const one = readSessionInfo({ screen_monitorcount: count, screen_desktopwidth: "1280", screen_desktopheight: "800" });
    assert.deepEqual([one.monitors.length, one.desktopWidth, one.desktopHeight], [0, 1280, 800], String(count));
  }
});

test("the picture is fitted, never enlarged, and points map back to the host", () => {
  const single = readSessionInfo({ screen_desktopwidth: "1280", screen_desktopheight: "800" });
  const whole = regionOf(single, 1280, 800);
  assert.deepEqual(fit(whole, 1400, 900), { scale: 1, width: 1280, height: 800, left: 60, top: 50 });
  assert.deepEqual(fit(whole, 640, 800), { scale: 0.5, width: 640, height: 400, left: 0, top: 200 });
  assert.deepEqual(mapPoint(single, whole, 1280, 800, 640, 400, 320, 200), [640, 400]);

  const two = readSessionInfo({ screen_monitorcount: "2", screen_primarymonitor: "0",
    screen_monitorcoordinates: "m0l0m0t0m0w1920m0h1080m1l1920m1t0m1w1280m1h1024m",
    screen_desktopleft: "0", screen_desktoptop: "0", screen_desktopwidth: "3200", screen_desktopheight: "1080" });
  two.current = 1;
  const cropped = regionOf(two, 3200, 1080);
  assert.deepEqual([cropped.cropped, cropped.left, cropped.width], [true, 1920, 1280]);
  assert.deepEqual(mapPoint(two, cropped, 3200, 1080, 640, 512, 320, 256), [2560, 512]);
  // A frame that is not the reported desktop is shown whole, scaled to the desktop.
  const uncropped = regionOf(two, 1600, 540);
  assert.equal(uncropped.cropped, false);
  assert.deepEqual(mapPoint(two, uncropped, 1600, 540, 1600, 540, 800, 270), [1600, 540]);
});

test("rounding, wheel and keys as the host expects them", () => {
  assert.deepEqual([0.5, 1.5, 2.5, 2.4, 2.6].map(roundHalfEven), [0, 2, 2, 2, 3]);
  assert.equal(wheelToken(-100, 0), "W120");   // away from the user
  assert.equal(wheelToken(200, 0), "W-240");
  assert.equal(wheelToken(0, 0), null);
  assert.deepEqual(keyDownToken({ key: "a", keyCode: 65 }), { token: "K65", code: 65, typed: false });
  assert.deepEqual(keyDownToken({ key: "\u00e9", keyCode: 0 }), { token: "c\u00e9", typed: true });
  assert.deepEqual(keyDownToken({ key: "\u00e9", keyCode: 69, ctrlKey: true }), { token: "K69", code: 69, typed: false });
  assert.equal(keyDownToken({ key: "Process", keyCode: 229 }), null);
});
