"""Checks a JSON document against a JSON Schema, for the subset of keywords the
run-record schema uses: type, enum, required, properties, additionalProperties,
items, minItems, maxItems, minimum, maximum, oneOf and local $ref. Unknown
keywords fail loudly, so the schema cannot silently outgrow this checker.

usage: validate_json.py SCHEMA DOCUMENT   (exit 0: valid; 1: the errors)"""
import json
import sys

KNOWN = {"$schema", "$id", "title", "$defs", "type", "enum", "required", "properties",
         "additionalProperties", "items", "minItems", "maxItems", "minimum", "maximum", "oneOf", "$ref"}
TYPES = {"object": dict, "array": list, "string": str, "boolean": bool, "null": type(None)}


def has_type(value, name):
    if name == "integer":
        return isinstance(value, int) and not isinstance(value, bool)
    if name == "number":
        return isinstance(value, (int, float)) and not isinstance(value, bool)
    return isinstance(value, TYPES[name])


def check(value, schema, root, path, errors):
    unknown = set(schema) - KNOWN
    if unknown:
        raise SystemExit("unsupported schema keywords %s at %s" % (sorted(unknown), path))
    if "$ref" in schema:
        node = root
        for part in schema["$ref"].lstrip("#/").split("/"):
            node = node[part]
        check(value, node, root, path, errors)
    if "type" in schema:
        names = schema["type"] if isinstance(schema["type"], list) else [schema["type"]]
        if not any(has_type(value, n) for n in names):
            errors.append("%s: %r is not of type %s" % (path, value, names))
            return
    if "enum" in schema and value not in schema["enum"]:
        errors.append("%s: %r not in %s" % (path, value, schema["enum"]))
    if "oneOf" in schema:
        matching = [s for s in schema["oneOf"] if not collect(value, s, root, path)]
        if len(matching) != 1:
            errors.append("%s: matches %d of the oneOf schemas" % (path, len(matching)))
    if has_type(value, "number"):
        if "minimum" in schema and value < schema["minimum"]:
            errors.append("%s: %r below %r" % (path, value, schema["minimum"]))
        if "maximum" in schema and value > schema["maximum"]:
            errors.append("%s: %r above %r" % (path, value, schema["maximum"]))
    if isinstance(value, list):
        if len(value) < schema.get("minItems", 0) or len(value) > schema.get("maxItems", len(value)):
            errors.append("%s: %d items" % (path, len(value)))
        for i, item in enumerate(value):
            if "items" in schema:
                check(item, schema["items"], root, "%s[%d]" % (path, i), errors)
    if isinstance(value, dict):
        for key in schema.get("required", []):
            if key not in value:
                errors.append("%s: missing %s" % (path, key))
        props = schema.get("properties", {})
        extra = schema.get("additionalProperties", True)
        for key, item in value.items():
            if key in props:
                check(item, props[key], root, path + "." + key, errors)
            elif extra is False:
                errors.append("%s: unexpected %s" % (path, key))
            elif isinstance(extra, dict):
                check(item, extra, root, path + "." + key, errors)


def collect(value, schema, root, path):
    errors = []
    check(value, schema, root, path, errors)
    return errors


def main():
    schema = json.load(open(sys.argv[1]))
    document = json.load(open(sys.argv[2]))
    errors = collect(document, schema, schema, "$")
    for e in errors:
        print(e)
    sys.exit(1 if errors else 0)


if __name__ == "__main__":
    main()
