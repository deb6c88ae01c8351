#!/usr/bin/env python3
"""Opens a Velmora HTML report in headless Chromium and checks it as a user would see it.

Talks to Chromium over --remote-debugging-pipe (fds 3 and 4, NUL-terminated JSON messages of
the DevTools protocol), so it needs no websocket library and no network. It starts
Chromium itself, but only inside a network namespace of its own (`unshare --net`, as root), so
the page cannot reach any network even if the report asked for it.

Checks: the table has the expected rows, nothing reached the console as an error and no script
threw, clicking the score header sorts the rows both ways, no element or dialog was injected,
and each URL cell shows its text exactly (--expect-url). Prints the first paint and the sort
time; writes screenshots when asked. Exit status 0 passed, 1 failed, 77 cannot run here.
"""
import argparse
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
# Rows the report's table shows before "show all".
PAGE_ROWS = 200


class Browser:
    def __init__(self, chromium, width, height):
        self.profile = tempfile.mkdtemp(prefix="velmora-chromium-")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        # The pipes may already sit on fds 3 and 4, where dup2 would keep their close-on-exec.
        moved = os.dup(to_browser_r), os.dup(from_browser_w)
        os.close(to_browser_r)
        os.close(from_browser_w)
        to_browser_r, from_browser_w = moved

        def child_fds():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        cmd = ["unshare", "--net", "--", chromium, "--headless", "--no-sandbox", "--disable-gpu",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--disable-quic", "--remote-debugging-pipe",
               "--user-data-dir=" + self.profile, "--window-size=%d,%d" % (width, height),
               "about:blank"]
        self.proc = subprocess.Popen(cmd, preexec_fn=child_fds, close_fds=False,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def close(self):
        try:
            self.send("Browser.close", session=False, wait=False)
        except OSError:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def read_message(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("Chromium did not answer in time")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise EOFError("Chromium closed the pipe")
            self.buffer += chunk
        raw, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(raw)

    def send(self, method, params=None, session=True, wait=True, timeout=60):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        if not wait:
            return None
        deadline = time.monotonic() + timeout
        while True:
            reply = self.read_message(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            self.on_event(reply)

    def on_event(self, event):
        self.events.append(event)
        # A dialog blocks the page until it is answered; it is a failure either way.
        if event.get("method") == "Page.javascriptDialogOpening":
            self.send("Page.handleJavaScriptDialog", {"accept": True}, wait=False)

    def wait_event(self, method, timeout=60):
        deadline = time.monotonic() + timeout
        for event in self.events:
            if event.get("method") == method:
                return event
        while True:
            event = self.read_message(deadline)
            if "id" in event:
                continue
            self.on_event(event)
            if event.get("method") == method:
                return event

    def attach(self):
        targets = self.send("Target.getTargets", session=False)["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget",
                                 {"targetId": page["targetId"], "flatten": True},
                                 session=False)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.send(domain + ".enable")

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def screenshot(self, path):
        data = self.send("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))


# Runs in the page: the rendered rows and the score column's values, after a click on a header.
NEXT_FRAME = "new Promise(r => requestAnimationFrame(() => setTimeout(r, 0)))"
SCORE_COLUMN = """(() => {
  const th = [...document.querySelectorAll('#pages thead th')].find(h => h.textContent.startsWith('Score'));
  const i = [...th.parentNode.children].indexOf(th);
  return [...document.querySelectorAll('#pages tbody tr:not(.detail)')]
      .map(tr => tr.children[i].textContent);
})()"""
# Paint entries arrive once the frame is presented, a little after the load.
PAINTS = """(async () => {
  for (let i = 0; i < 100 && performance.getEntriesByType('paint').length < 2; i++)
    await new Promise(r => setTimeout(r, 50));
  const paints = Object.fromEntries(performance.getEntriesByType('paint')
      .map(e => [e.name, e.startTime]));
  // The table is built by the inline script, before the load event ends.
  paints.load = performance.getEntriesByType('navigation')[0].loadEventEnd;
  return paints;
})()"""
CLICK_SCORE = """(async () => {
  const th = [...document.querySelectorAll('#pages thead th')].find(h => h.textContent.startsWith('Score'));
  const t0 = performance.now();
  th.click();
  await %s;
  return performance.now() - t0;
})()""" % NEXT_FRAME


def ordered(values, descending):
    numbers = []
    seen_blank = False
    for v in values:
        try:
            n = float(v)
        except ValueError:
            seen_blank = True
            continue
        if seen_blank:
            return False  # a number after a missing value
        numbers.append(n)
    want = sorted(numbers, reverse=descending)
    return numbers == want


def problems(browser):
    found = []
    for e in browser.events:
        m, p = e.get("method"), e.get("params", {})
        if m == "Runtime.exceptionThrown":
            found.append("exception: %s" % p["exceptionDetails"].get("text"))
        elif m == "Log.entryAdded" and p["entry"]["level"] == "error":
            found.append("console: %s" % p["entry"].get("text"))
        elif m == "Runtime.consoleAPICalled" and p.get("type") == "error":
            found.append("console.error: %s" % p.get("args"))
        elif m == "Page.javascriptDialogOpening":
            found.append("dialog opened: %s" % p.get("message"))
    return found


def check(browser, args):
    failures = []
    browser.events.clear()  # about:blank's own load is no load of the report
    browser.send("Page.navigate", {"url": "file://" + os.path.abspath(args.report)})
    browser.wait_event("Page.loadEventFired", timeout=120)
    paints = browser.evaluate(PAINTS)
    shown = browser.evaluate("document.querySelectorAll('#pages tbody tr').length")
    if shown != min(args.rows, PAGE_ROWS):
        failures.append("table shows %s rows, expected %d" % (shown, min(args.rows, PAGE_ROWS)))
    if args.summary_shot:
        browser.screenshot(args.summary_shot)
    sort_ms = []
    for descending in (False, True):
        sort_ms.append(browser.evaluate(CLICK_SCORE))
        if not ordered(browser.evaluate(SCORE_COLUMN), descending):
            failures.append("the score column is not sorted %s after a click"
                            % ("descending" if descending else "ascending"))
    for url in args.expect_url:
        found = browser.evaluate("[...document.querySelectorAll('#pages summary')].some("
                                 "s => s.textContent === %s)" % json.dumps(url))
        if not found:
            failures.append("no URL cell shows exactly %r" % url)
    if browser.evaluate("document.querySelector('img[src=x]') !== null"):
        failures.append("an injected <img src=x> exists")
    if browser.evaluate("document.querySelectorAll('script').length") != 2:
        failures.append("the page holds scripts it did not bring")
    # A page's detail, as a user opens it: the named page's, else the first row's.
    opened = browser.evaluate("""(async () => {
      const want = %s;
      const all = [...document.querySelectorAll('#pages summary')];
      (all.find(s => s.textContent === want) || all[0]).click();
      await %s;
      const d = document.querySelector('#pages tr.detail');
      if (!d) return -1;
      d.scrollIntoView({block: 'center'});
      return d.querySelectorAll('li, .err').length;
    })()""" % (json.dumps(args.detail_url), NEXT_FRAME))
    if opened is None or opened < 1:
        failures.append("a page's detail did not open with its audits or error")
    if args.detail_shot:
        browser.screenshot(args.detail_shot)
    if args.pdf:
        data = browser.send("Page.printToPDF", {"printBackground": True})["data"]
        with open(args.pdf, "wb") as f:
            f.write(base64.b64decode(data))
    failures += problems(browser)
    print("report-browser-check: %s rows=%s first-paint-ms=%.0f first-contentful-paint-ms=%.0f "
          "load-ms=%.0f sort-ms=%.0f/%.0f" % (os.path.basename(args.report), shown,
                                              paints.get("first-paint", -1),
                                              paints.get("first-contentful-paint", -1),
                                              paints.get("load", -1), *sort_ms))
    return failures


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("report")
    ap.add_argument("--rows", type=int, required=True, help="pages the report holds")
    ap.add_argument("--expect-url", action="append", default=[],
                    help="a URL some row must show as exactly this text")
    ap.add_argument("--summary-shot", help="PNG of the report's top")
    ap.add_argument("--detail-shot", help="PNG with a page's detail open")
    ap.add_argument("--detail-url", default="", help="the page whose detail opens (default: the "
                    "first row's)")
    ap.add_argument("--pdf", help="the report printed to PDF, as \"Print to PDF\" prints it")
    ap.add_argument("--width", type=int, default=1366)
    ap.add_argument("--height", type=int, default=768)
    ap.add_argument("--chromium", default="/usr/bin/chromium")
    args = ap.parse_args()
    if os.geteuid() != 0:
        print("report-browser-check: skipped: needs root for its own network namespace")
        return SKIP
    if not os.access(args.chromium, os.X_OK) or not shutil.which("unshare"):
        print("report-browser-check: skipped: %s or unshare missing" % args.chromium)
        return SKIP
    if subprocess.run(["unshare", "--net", "true"]).returncode != 0:
        print("report-browser-check: skipped: cannot make a network namespace here")
        return SKIP
    browser = Browser(args.chromium, args.width, args.height)
    try:
        browser.attach()
        browser.send("Emulation.setDeviceMetricsOverride",
                     {"width": args.width, "height": args.height, "deviceScaleFactor": 1,
                      "mobile": False})
        failures = check(browser, args)
    finally:
        browser.close()
    for f in failures:
        print("report-browser-check: FAIL: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
