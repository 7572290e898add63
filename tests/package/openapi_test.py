#!/usr/bin/env python3
"""Starts `karvona serve` on a free loopback port, sends every route good and bad requests over
HTTP, and checks each answer against docs/openapi.yaml: a status the route documents, JSON that
validates against the documented schema, and the documented headers (Allow, Retry-After).

    openapi_test.py KARVONA DATA_FOLDER OPENAPI_YAML PHOTO_FOLDER
"""
import http.client
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import uuid

try:
    import jsonschema
    import yaml
except ImportError as missing:
    print(f"{missing.name} is not installed (python3-jsonschema, python3-yaml): skipped")
    sys.exit(77)

karvona, data, description, photos = sys.argv[1:5]
with open(description, encoding="utf-8") as f:
    spec = yaml.safe_load(f)
jsonschema.Draft202012Validator.check_schema(spec["components"]["schemas"]["Reading"])


def lookup(ref):
    node = spec
    for part in ref.lstrip("#/").split("/"):
        node = node[part.replace("~1", "/").replace("~0", "~")]
    return node


def response_of(path, method, status):
    """The documented response object, or None when the route does not document the status."""
    if path not in spec["paths"]:
        return lookup("#/components/responses/NotFound") if status == 404 else None
    operation = spec["paths"][path].get(method.lower())
    if operation is None:
        return lookup("#/components/responses/MethodNotAllowed") if status == 405 else None
    answer = operation["responses"].get(str(status))
    if answer is not None and "$ref" in answer:
        answer = lookup(answer["$ref"])
    return answer


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


failures = []
checked = 0


def check(what, path, method, status, headers, body, expect_status=None, expect_reason=None):
    global checked
    checked += 1
    problems = []
    if expect_status is not None and status != expect_status:
        problems.append(f"status {status}, not {expect_status}")
    answer = response_of(path, method, status)
    if answer is None:
        problems.append(f"status {status} is not documented for {method} {path}")
    else:
        for name, header in answer.get("headers", {}).items():
            if header.get("required") and headers.get(name.lower()) is None:
                problems.append(f"no {name} header")
        media = headers.get("content-type", "").split(";")[0].strip()
        if media != "application/json":
            problems.append(f"Content-Type {media!r}")
        try:
            document = json.loads(body)
            # The answer's schema, resolved inside the whole description.
            root = dict(spec, **{"$ref": "#/components/schemas/_answer"})
            root["components"] = dict(spec["components"])
            root["components"]["schemas"] = dict(spec["components"]["schemas"],
                                                 _answer=answer["content"]["application/json"]["schema"])
            for error in jsonschema.Draft202012Validator(root).iter_errors(document):
                problems.append(f"{'/'.join(map(str, error.absolute_path))}: {error.message}")
            if expect_reason is not None and document.get("reason") != expect_reason:
                problems.append(f"reason {document.get('reason')!r}, not {expect_reason!r}")
        except ValueError as error:
            problems.append(f"not JSON: {error}")
    if problems:
        failures.append(f"{what} ({method} {path} -> {status}): " + "; ".join(problems)
                        + f"\n    body: {body[:300]!r}")
    return json.loads(body) if not problems else None


def request(port, method, path, body=None, content_type=None, raw_body=False):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    headers = {}
    if content_type:
        headers["Content-Type"] = content_type
    connection.request(method, path, body=body, headers=headers)
    answer = connection.getresponse()
    data = answer.read()
    if not raw_body:
        data = data.decode("utf-8", "replace")
    result = (answer.status, {k.lower(): v for k, v in answer.getheaders()}, data)
    connection.close()
    return result


def raw(port, text):
    """Sends bytes as they are and parses the answer's status line, headers and body."""
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(text)
        received = b""
        while True:
            try:
                chunk = s.recv(65536)
            except ConnectionResetError:
                break
            if not chunk:
                break
            received += chunk
            head, _, rest = received.partition(b"\r\n\r\n")
            length = [int(line.split(b":", 1)[1]) for line in head.split(b"\r\n")
                      if line.lower().startswith(b"content-length:")]
            if length and len(rest) >= length[0]:
                break
    head, _, rest = received.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1]) if lines and len(lines[0].split()) > 1 else 0
    headers = {l.split(":", 1)[0].strip().lower(): l.split(":", 1)[1].strip()
               for l in lines[1:] if ":" in l}
    return status, headers, rest.decode("utf-8", "replace")


def form(fields):
    boundary = uuid.uuid4().hex
    body = b""
    for name, filename, content in fields:
        body += f"--{boundary}\r\nContent-Disposition: form-data; name=\"{name}\"".encode()
        if filename:
            body += f"; filename=\"{filename}\"\r\nContent-Type: image/jpeg".encode()
        body += b"\r\n\r\n" + content + b"\r\n"
    body += f"--{boundary}--\r\n".encode()
    return body, f"multipart/form-data; boundary={boundary}"


port = free_port()
log = tempfile.TemporaryFile()
state = tempfile.TemporaryDirectory()
service = subprocess.Popen([karvona, "serve", "--data", data, "--listen", f"127.0.0.1:{port}",
                            "--jobs", "1", "--db", os.path.join(state.name, "history.db")],
                           stdout=log, stderr=log)
try:
    for _ in range(300):
        try:
            request(port, "GET", "/health")
            break
        except OSError:
            if service.poll() is not None:
                break
            time.sleep(0.05)
    if service.poll() is not None:
        log.seek(0)
        print("the service did not start:\n" + log.read().decode("utf-8", "replace"))
        sys.exit(1)

    jpegs = sorted(p for p in os.listdir(photos) if p.endswith(".jpg"))
    bmps = sorted(p for p in os.listdir(photos) if p.endswith(".bmp"))
    jpeg = open(os.path.join(photos, jpegs[0]), "rb").read()
    second = open(os.path.join(photos, jpegs[1]), "rb").read()
    bmp = open(os.path.join(photos, bmps[0]), "rb").read()

    check("health", "/health", "GET", *request(port, "GET", "/health"), 200)
    reading = check("a JPEG", "/read", "POST",
                    *request(port, "POST", "/read?file=gate%20one.jpg", jpeg, "image/jpeg"), 200)
    if reading is not None and reading["file"] != "gate one.jpg":
        failures.append(f"/read gave back file {reading['file']!r}")
    check("a BMP", "/read", "POST", *request(port, "POST", "/read", bmp, "image/bmp"), 200)
    check("empty body", "/read", "POST", *request(port, "POST", "/read", b"", "image/jpeg"),
          400, "empty")
    check("text", "/read", "POST", *request(port, "POST", "/read", jpeg, "text/plain"), 415,
          "unsupported-media-type")
    check("no photograph", "/read", "POST",
          *request(port, "POST", "/read", b"x" * 5000, "application/octet-stream"), 415,
          "unsupported-format")
    frame = max(jpeg.find(b"\xff\xc0"), jpeg.find(b"\xff\xc2"))  # cut inside the frame header
    check("cut short", "/read", "POST",
          *request(port, "POST", "/read", jpeg[:frame + 19], "image/jpeg"), 422,
          "cannot-decode")
    check("declared too long", "/read", "POST",
          *raw(port, b"POST /read HTTP/1.1\r\nHost: x\r\nContent-Type: image/jpeg\r\n"
                     b"Content-Length: 999999999999\r\nConnection: close\r\n\r\n" + jpeg[:100]),
          413, "too-large")
    body, kind = form([("pass", None, b"153655001"), ("photo", "1-153655001-OCR-AH.jpg", jpeg),
                       ("photo", "1-153655001-OCR-LF.jpg", second)])
    check("a pass", "/pass", "POST", *request(port, "POST", "/pass", body, kind), 200)
    body, kind = form([("pass", None, b"7")])
    check("a pass without photographs", "/pass", "POST",
          *request(port, "POST", "/pass", body, kind), 400, "empty")
    check("a photograph to /pass", "/pass", "POST",
          *request(port, "POST", "/pass", jpeg, "image/jpeg"), 415, "unsupported-media-type")
    for method, path, allowed in [("GET", "/read", "POST"), ("GET", "/pass", "POST"),
                                  ("POST", "/health", "GET")]:
        status, headers, text = request(port, method, path, b"" if method == "POST" else None,
                                        "application/octet-stream" if method == "POST" else None)
        check("wrong method", path, method, status, headers, text, 405, "method-not-allowed")
        if allowed not in headers.get("allow", ""):
            failures.append(f"{method} {path}: Allow {headers.get('allow')!r} lacks {allowed}")
    check("no such path", "/nowhere", "GET", *request(port, "GET", "/nowhere"), 404, "not-found")
    check("not HTTP", "/read", "POST", *raw(port, b"GARBAGE\r\n\r\n"), 400)
    check("still up", "/health", "GET", *request(port, "GET", "/health"), 200)

    # The desk: what the requests above left in the history.
    found = check("search", "/desk/search", "GET", *request(port, "GET", "/desk/search"), 200)
    check("queue", "/desk/queue", "GET", *request(port, "GET", "/desk/queue?limit=5"), 200)
    check("bad search", "/desk/search", "GET",
          *request(port, "GET", "/desk/search?from=yesterday"), 400, "bad-time")
    check("figures", "/desk/figures", "GET", *request(port, "GET", "/desk/figures"), 200)
    check("owners", "/desk/owners", "GET", *request(port, "GET", "/desk/owners"), 200)
    check("unknown reading", "/desk/reading", "GET",
          *request(port, "GET", "/desk/reading?id=99999"), 404, "unknown-reading")
    check("bad hash", "/desk/photo", "GET", *request(port, "GET", "/desk/photo?hash=..%2Fx"),
          400, "bad-hash")
    kept = [r for r in (found or {}).get("readings", []) if r["photo"]]
    if not kept:
        failures.append("the history holds no reading with its photograph")
    else:
        first = kept[-1]
        check("a reading", "/desk/reading", "GET",
              *request(port, "GET", f"/desk/reading?id={first['id']}"), 200)
        status, headers, photo = request(port, "GET", f"/desk/photo?hash={first['photo']}",
                                         raw_body=True)
        if status != 200 or photo != jpeg or headers.get("content-type") != "image/jpeg":
            failures.append(f"/desk/photo gave {status} {headers.get('content-type')}")
        if first["strip"]:
            status, headers, strip = request(port, "GET", f"/desk/strip?id={first['id']}",
                                             raw_body=True)
            if status != 200 or not strip.startswith(b"\xff\xd8") or not first["characters"]:
                failures.append(f"/desk/strip gave {status} {headers.get('content-type')}")
        check("no strip", "/desk/strip", "GET", *request(port, "GET", "/desk/strip?id=99999"),
              404, "unknown-photo")
        settle = json.dumps({"id": first["id"], "code": "CAIU8979622", "by": "test"})
        check("settle", "/desk/settle", "POST",
              *request(port, "POST", "/desk/settle", settle, "application/json"), 200)
        check("impossible code", "/desk/settle", "POST",
              *request(port, "POST", "/desk/settle",
                       json.dumps({"id": first["id"], "code": "CAIU8979623"}),
                       "application/json"), 422, "bad-code")
        check("a form post", "/desk/settle", "POST",
              *request(port, "POST", "/desk/settle", f"id={first['id']}",
                       "application/x-www-form-urlencoded"), 415, "unsupported-media-type")
        check("delete", "/desk/delete", "POST",
              *request(port, "POST", "/desk/delete", json.dumps({"id": first["id"]}),
                       "application/json"), 200)
    check("delete again", "/desk/delete", "POST",
          *request(port, "POST", "/desk/delete", json.dumps({"id": 99999}), "application/json"),
          404, "unknown-reading")
finally:
    service.terminate()
    try:
        code = service.wait(timeout=30)
    except subprocess.TimeoutExpired:
        service.kill()
        code = -1
if code != 0:
    failures.append(f"the service ended with {code} after SIGTERM")
for failure in failures:
    print(failure)
print(f"{checked} answers checked against {os.path.basename(description)}, "
      f"{len(failures)} problem(s)")
sys.exit(1 if failures else 0)
