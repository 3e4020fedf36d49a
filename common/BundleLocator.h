#pragma once

#include <QString>

// Path arithmetic by which each program finds the others from its own bundle path.
namespace BundleLocator {

// `path` with its last `count` components removed ("/a/b/c", 2 -> "/a").
QString removingLastComponents(const QString& path, int count);

// A bundle that sits in the same folder as `ownBundle` (the daemon finds the worker this way).
QString siblingBundle(const QString& ownBundle, const QString& bundleName);

// A bundle inside the main application bundle, by its relative path.
QString insideMainBundle(const QString& mainBundle, const QString& relativePath);

// The main application bundle seen from the menu-bar agent (three components up).
QString mainBundleFromMenuBar(const QString& menuBarBundle);

// The main bundle's Contents folder, and the main bundle, seen from the login helper.
QString contentsFromLoginHelper(const QString& helperBundle);
QString mainBundleFromLoginHelper(const QString& helperBundle);

} // namespace BundleLocator
