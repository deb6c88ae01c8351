#!/usr/bin/env bash
# A crawl of a generated site of PAGES pages (default 10 000) served by Debian's nginx on
# loopback (gzip on, keep-alive), by `velmora-cli crawl` and by `wget --spider -r`: pages found,
# wall time and peak memory side by side. robots.txt forbids /private/, which the site links too.
# Usage: bench/crawl-nginx.sh [PAGES] [CLI]   (CLI: the velmora-cli to run, default build/...)
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:-10000}
cli=${2:-build/src/cli/velmora-cli}
[ -x "$cli" ] || { echo "no $cli: build velmora-cli first" >&2; exit 2; }
work=$(mktemp -d /tmp/velmora-crawl-bench.XXXXXX)
chmod 755 "$work"
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Page n links to its 20 children (n*20+1 ...), to its parent and to 5 pages elsewhere, in
# about 20 KB of markup; every 500th page also links to a page under /private/.
python3 - "$work/site" "$pages" <<'EOF'
import os, sys
root, pages = sys.argv[1], int(sys.argv[2])
os.makedirs(root + "/p"); os.makedirs(root + "/private")
filler = "<p class=filler>Lorem ipsum dolor sit amet, consectetur adipiscing elit.</p>\n"
def link(n): return "/" if n == 0 else "/p/%d.html" % n
for n in range(pages):
    html = ["<!doctype html><html lang=en><head><meta charset=utf-8><title>Page %d</title>"
            "<link rel=stylesheet href=/s.css></head><body><nav><a href=/>Home</a> "
            "<a href=%s>Up</a></nav><main>" % (n, link((n - 1) // 20 if n else 0))]
    for k in range(1, 21):
        child = n * 20 + k
        if child < pages:
            html.append("<div class=card><h2>Item %d</h2><p>About the item.</p>"
                        "<a href=\"%s\">more</a></div>\n" % (child, link(child)))
    for k in range(5):
        html.append("<a href=\"%s\">see</a>" % link((n * 7919 + k * 104729) % pages))
    if n % 500 == 0:
        html.append("<a href=/private/%d.html>private</a>" % n)
        open("%s/private/%d.html" % (root, n), "w").write("<p>private</p>")
    body = "".join(html)
    body += filler * max(0, (20000 - len(body)) // len(filler))
    path = root + "/index.html" if n == 0 else "%s/p/%d.html" % (root, n)
    open(path, "w").write(body + "</main></body></html>")
open(root + "/robots.txt", "w").write("User-agent: *\nDisallow: /private/\n")
EOF
chmod -R a+rX "$work/site"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/tmp"
cat >"$work/nginx.conf" <<EOF
worker_processes 2;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
  include /etc/nginx/mime.types;
  log_format ua '\$status \$request_uri "\$http_user_agent"';
  access_log $work/access.log ua;
  client_body_temp_path $work/tmp; proxy_temp_path $work/tmp; fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
  gzip on;
  keepalive_requests 100000;
  server { listen 127.0.0.1:$port; root $work/site; }
}
EOF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/robots.txt" && break; sleep 0.1; done

# Pages found: distinct HTML pages answered 200 to that client, robots.txt and /private/ apart.
found() { grep "\"$1" "$work/access.log" | awk '$1 == 200 {print $2}' | grep -v -e robots.txt \
  -e '^/private/' | sort -u | wc -l; }
measure() {  # name, user agent, command...
  local name=$1 agent=$2; shift 2
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/$name.rss" "$@" >"$work/$name.out" 2>"$work/$name.err" || true
  end=$(date +%s.%N)
  printf '%-28s %8s %10.1f %12.1f %10s\n' "$name" "$(found "$agent")" \
    "$(echo "$end - $start" | bc)" "$(echo "$(tail -1 "$work/$name.rss") / 1024" | bc -l)" \
    "$(grep -c "^[0-9]* /private/" <(grep "\"$agent" "$work/access.log") || true)"
}
printf '%-28s %8s %10s %12s %10s\n' crawler "pages" "wall s" "peak MB" "private"
measure "velmora-cli crawl" "Velmora/" "$cli" crawl "http://127.0.0.1:$port/" --max-pages "$pages" \
  --max-depth 100 --output "$work/velmora.txt" --lang en
measure "wget --spider -r" "Wget/" wget --spider -r -l inf -nv -e robots=on \
  -P "$work/wget" "http://127.0.0.1:$port/"
echo "site: $pages pages; velmora-cli's list: $(wc -l <"$work/velmora.txt") URLs"
grep -i -e stopped -e "out of time" "$work/velmora-cli crawl.err" || true
