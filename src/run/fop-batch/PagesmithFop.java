// pagesmith-fop: renders many FO files to PDF in one Java VM, for
// pagesmith-pdf. Starting FOP costs seconds per page; one warm FopFactory
// shared by a few worker threads renders a batch several times faster.
//
// usage: java -cp FOP-JARS:pagesmith-fop.jar PagesmithFop -c FOP.XCONF
//          [-j THREADS] [--allow-remote] [--sandbox DIR] [--font-dir DIR]...
//          [--verbose] [--progress] JOB-LIST
// JOB-LIST holds six lines per page: its name as shown, the FO file, the PDF
// to write, the file: URI of the folder that relative image paths start
// from, the summary of the converter's notices (may be empty) and a file to
// add FOP's messages to (may be empty). Names and notices are bytes, passed
// through as they are (read and written as ISO-8859-1); file names should be
// ASCII, since the VM's own encoding of file names depends on the locale. One line per page goes to standard output;
// exit status 0 when every page was written, 4 when any failed (not 1,
// which is java's own when the VM cannot start the driver), 2 for a wrong
// command line, 3 when nothing could be rendered (no configuration).

import java.io.BufferedOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.FileWriter;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.io.Writer;
import java.net.URI;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.regex.Pattern;

import javax.xml.parsers.SAXParserFactory;

import org.apache.fop.apps.FOUserAgent;
import org.apache.fop.apps.Fop;
import org.apache.fop.apps.FopConfParser;
import org.apache.fop.apps.FopFactory;
import org.apache.fop.apps.FopFactoryBuilder;
import org.apache.fop.apps.MimeConstants;
import org.apache.fop.apps.io.ResourceResolverFactory;
import org.apache.fop.datatypes.URISpecification;
import org.apache.fop.events.Event;
import org.apache.fop.events.EventFormatter;
import org.apache.fop.events.model.EventSeverity;
import org.apache.xmlgraphics.io.Resource;
import org.apache.xmlgraphics.io.ResourceResolver;
import org.xml.sax.Attributes;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.XMLReader;
import org.xml.sax.helpers.AttributesImpl;
import org.xml.sax.helpers.XMLFilterImpl;

public final class PagesmithFop {
  static final String FO_NS = "http://www.w3.org/1999/XSL/Format";

  /** One page of the batch and what rendering it said. */
  static final class Job {
    String name, fo, pdf, base, notices, log;
    /** FOP's warnings and errors, each once, with how often it came. */
    final Map<String, Integer> messages = new LinkedHashMap<>();

    void add(String message) {
      // The same fault at another place of the FO is the same fault.
      String key = POSITION.matcher(message).replaceAll("");
      synchronized (messages) {
        messages.merge(key, 1, Integer::sum);
      }
    }

    List<String> messageLines() {
      List<String> lines = new ArrayList<>();
      synchronized (messages) {
        messages.forEach((m, n) -> lines.add(n > 1 ? m + " (" + n + " times)" : m));
      }
      return lines;
    }
  }

  static final Pattern POSITION = Pattern.compile(" ?\\(See position [0-9]+:[0-9]+\\)");

  /** The page the current thread renders: FOP's log lines belong to it. */
  static final ThreadLocal<Job> CURRENT = new ThreadLocal<>();
  /** Messages logged outside any page (setting the factory up), each once. */
  static final Set<String> GENERAL = Collections.synchronizedSet(new LinkedHashSet<>());

  static void note(String level, Object message, Throwable t) {
    String text = level + ": " + message + (t != null && t.getMessage() != null ? " (" + t.getMessage() + ")" : "");
    Job job = CURRENT.get();
    if (job != null) {
      job.add(text);
    } else if (GENERAL.add(text)) {
      synchronized (PagesmithFop.class) {
        err.println("FOP " + utf8(text));
      }
    }
  }

  /**
   * FOP's log when quiet: information and debugging dropped unformatted,
   * warnings and errors kept once each with the page they belong to.
   */
  public static final class QuietLog implements org.apache.commons.logging.Log {
    public QuietLog(String name) {}
    public boolean isTraceEnabled() { return false; }
    public boolean isDebugEnabled() { return false; }
    public boolean isInfoEnabled() { return false; }
    public boolean isWarnEnabled() { return true; }
    public boolean isErrorEnabled() { return true; }
    public boolean isFatalEnabled() { return true; }
    public void trace(Object m) {}
    public void trace(Object m, Throwable t) {}
    public void debug(Object m) {}
    public void debug(Object m, Throwable t) {}
    public void info(Object m) {}
    public void info(Object m, Throwable t) {}
    public void warn(Object m) { note("warning", m, null); }
    public void warn(Object m, Throwable t) { note("warning", m, t); }
    public void error(Object m) { note("error", m, null); }
    public void error(Object m, Throwable t) { note("error", m, t); }
    public void fatal(Object m) { note("error", m, null); }
    public void fatal(Object m, Throwable t) { note("error", m, t); }
  }

  /**
   * Reads for FOP. Remote resources are refused unless allowed; with a
   * sandbox, files outside it too (the fonts' folders excepted), after
   * following symbolic links, so that a link cannot lead out of it.
   */
  static final class GuardedResolver implements ResourceResolver {
    final ResourceResolver inner = ResourceResolverFactory.createDefaultResourceResolver();
    final boolean allowRemote;
    final List<Path> roots;  // null: every local file may be read

    GuardedResolver(boolean allowRemote, List<Path> roots) {
      this.allowRemote = allowRemote;
      this.roots = roots;
    }

    static boolean isLocal(URI uri) {
      String scheme = uri.getScheme();
      if (scheme == null || scheme.equalsIgnoreCase("data")) return true;
      if (!scheme.equalsIgnoreCase("file")) return false;
      // Java fetches a file: URL naming another host by FTP.
      String host = uri.getHost() != null ? uri.getHost() : uri.getRawAuthority();
      return host == null || host.isEmpty() || host.equalsIgnoreCase("localhost");
    }

    String refusal(URI uri) {
      if (!isLocal(uri)) return allowRemote ? null : "remote resource not fetched (see --allow-remote): " + uri;
      if (roots == null || uri.getScheme() == null || !uri.getScheme().equalsIgnoreCase("file")) return null;
      Path path;
      try {
        path = Path.of(uri.getPath()).normalize();
        if (Files.exists(path)) path = path.toRealPath();
      } catch (RuntimeException | IOException e) {
        return "unreadable file name: " + uri;
      }
      for (Path root : roots) {
        if (path.startsWith(root)) return null;
      }
      return "file outside the sandbox not read: " + path;
    }

    @Override
    public Resource getResource(URI uri) throws IOException {
      String refused = refusal(uri);
      if (refused != null) throw new IOException(refused);
      return inner.getResource(uri);
    }

    @Override
    public OutputStream getOutputStream(URI uri) throws IOException {
      return inner.getOutputStream(uri);
    }
  }

  /**
   * Makes the image paths of one document absolute against its own folder
   * (the factory, shared by every page, has a single base), and gives each
   * path to the resolver's judgement only once FOP asks for it.
   */
  static final class BaseFilter extends XMLFilterImpl {
    final URI base;

    BaseFilter(XMLReader parent, URI base) {
      super(parent);
      this.base = base;
    }

    String resolve(String src) {
      String s = src.trim();
      boolean wrapped = s.startsWith("url(") && s.endsWith(")");
      if (wrapped) s = s.substring(4, s.length() - 1).trim();
      if (s.length() >= 2 && (s.charAt(0) == '\'' || s.charAt(0) == '"') && s.charAt(s.length() - 1) == s.charAt(0))
        s = s.substring(1, s.length() - 1);
      try {
        // As FOP takes it: characters a URI may not hold (blanks) escaped.
        URI uri = new URI(URISpecification.escapeURI(s));
        if (uri.isAbsolute()) return src;
        String resolved = base.resolve(uri).toString();
        return wrapped ? "url(" + resolved + ")" : resolved;
      } catch (Exception e) {
        return src;  // FOP says what it makes of it
      }
    }

    @Override
    public void startElement(String ns, String local, String qName, Attributes atts) throws SAXException {
      if (FO_NS.equals(ns)) {
        AttributesImpl copy = null;
        for (int i = 0; i < atts.getLength(); i++) {
          String name = atts.getLocalName(i);
          if (name.equals("src") || name.equals("background-image")) {
            if (copy == null) copy = new AttributesImpl(atts);
            copy.setValue(i, resolve(atts.getValue(i)));
          }
        }
        if (copy != null) atts = copy;
      }
      super.startElement(ns, local, qName, atts);
    }
  }

  static String describe(Throwable t) {
    if (t instanceof OutOfMemoryError) return "out of memory (give Java more: PAGESMITH_PDF_HEAP, or -j 1)";
    Throwable root = t;
    while (root.getCause() != null && root.getCause() != root) root = root.getCause();
    String message = root.getMessage();
    return root.getClass().getSimpleName() + (message != null ? ": " + message.replace('\n', ' ') : "");
  }

  public static void main(String[] args) throws Exception {
    try {
      run(args);
    } catch (Exception e) {
      // Nothing rendered yet (the job list or the configuration is at
      // fault): pagesmith-pdf takes over with FOP's command line.
      System.err.println("pagesmith-fop: " + describe(e));
      System.exit(3);
    }
  }

  static void run(String[] args) throws Exception {
    String config = null, sandbox = null, list = null;
    int threads = Runtime.getRuntime().availableProcessors();
    boolean allowRemote = false, verbose = false, progress = false;
    List<String> fontDirs = new ArrayList<>();
    for (int i = 0; i < args.length; i++) {
      String a = args[i];
      boolean hasValue = i + 1 < args.length;
      if (a.equals("-c") && hasValue) config = args[++i];
      else if (a.equals("-j") && hasValue) threads = Integer.parseInt(args[++i]);
      else if (a.equals("--sandbox") && hasValue) sandbox = args[++i];
      else if (a.equals("--font-dir") && hasValue) fontDirs.add(args[++i]);
      else if (a.equals("--allow-remote")) allowRemote = true;
      else if (a.equals("--verbose")) verbose = true;
      else if (a.equals("--progress")) progress = true;
      else if (list == null && !a.startsWith("-")) list = a;
      else {
        System.err.println("pagesmith-fop: unknown or incomplete option " + a);
        System.exit(2);
      }
    }
    if (config == null || list == null || threads < 1) {
      System.err.println("usage: PagesmithFop -c FOP.XCONF [-j N] [--allow-remote] [--sandbox DIR] [--font-dir DIR]... [--verbose] [--progress] JOB-LIST");
      System.exit(2);
    }
    if (!verbose) {
      System.setProperty("org.apache.commons.logging.Log", QuietLog.class.getName());
    } else {
      System.setProperty("org.apache.commons.logging.Log", "org.apache.commons.logging.impl.SimpleLog");
      System.setProperty("org.apache.commons.logging.simplelog.defaultlog", "info");
    }

    List<String> lines = Files.readAllLines(Path.of(list), StandardCharsets.ISO_8859_1);
    List<Job> jobs = new ArrayList<>();
    for (int i = 0; i + 5 < lines.size(); i += 6) {
      Job job = new Job();
      job.name = lines.get(i);
      job.fo = lines.get(i + 1);
      job.pdf = lines.get(i + 2);
      job.base = lines.get(i + 3);
      job.notices = lines.get(i + 4);
      job.log = lines.get(i + 5);
      jobs.add(job);
    }

    List<Path> roots = null;
    if (sandbox != null) {
      roots = new ArrayList<>();
      roots.add(Path.of(sandbox).toRealPath());
      for (String d : fontDirs) {
        Path p = Path.of(d);
        if (Files.exists(p)) roots.add(p.toRealPath());
      }
    }
    ResourceResolver resolver = new GuardedResolver(allowRemote, roots);
    FopFactoryBuilder builder = new FopConfParser(new File(config), resolver).getFopFactoryBuilder();
    builder.setAccessibility(true);
    FopFactory factory = builder.build();

    SAXParserFactory parsers = SAXParserFactory.newInstance();
    parsers.setNamespaceAware(true);
    // Whatever the FO names outside the document is not read.
    parsers.setFeature("http://apache.org/xml/features/nonvalidating/load-external-dtd", false);
    parsers.setFeature("http://xml.org/sax/features/external-general-entities", false);
    parsers.setFeature("http://xml.org/sax/features/external-parameter-entities", false);

    String sourceDate = System.getenv("SOURCE_DATE_EPOCH");
    final java.util.Date epoch = sourceDate != null && sourceDate.matches("[0-9]{1,12}")
        ? new java.util.Date(Long.parseLong(sourceDate) * 1000) : null;
    Object factoryLock = new Object();
    PrintStream out = new PrintStream(new FileOutputStream(java.io.FileDescriptor.out), true, "ISO-8859-1");
    err = new PrintStream(new FileOutputStream(java.io.FileDescriptor.err), true, "ISO-8859-1");
    AtomicInteger done = new AtomicInteger();
    List<Job> failed = Collections.synchronizedList(new ArrayList<>());
    int total = jobs.size();
    final boolean showProgress = progress;
    final boolean quiet = !verbose;

    ExecutorService pool = Executors.newFixedThreadPool(Math.min(threads, Math.max(1, total)));
    for (Job job : jobs) {
      pool.execute(() -> {
        long start = System.nanoTime();
        String failure = null;
        int pages = 0;
        Path pdf = Path.of(job.pdf);
        Path part = pdf.resolveSibling(pdf.getFileName() + ".part");
        CURRENT.set(job);
        try (OutputStream os = new BufferedOutputStream(Files.newOutputStream(part))) {
          Fop fop;
          // FOP 2.8 is not safe when two threads make a Fop at once.
          synchronized (factoryLock) {
            FOUserAgent agent = factory.newFOUserAgent();
            agent.setAccessibility(true);
            // Reproducible output where asked for (the dates are all that
            // differs between two runs).
            if (epoch != null) agent.setCreationDate(epoch);
            if (quiet) {
              // A listener of ours replaces FOP's own, which logs every event.
              agent.getEventBroadcaster().addEventListener((Event e) -> {
                EventSeverity s = e.getSeverity();
                if (s == EventSeverity.WARN || s == EventSeverity.ERROR || s == EventSeverity.FATAL)
                  job.add((s == EventSeverity.WARN ? "warning: " : "error: ") + EventFormatter.format(e, Locale.ROOT));
              });
            }
            fop = agent.newFop(MimeConstants.MIME_PDF, os);
          }
          XMLReader reader = parsers.newSAXParser().getXMLReader();
          BaseFilter filter = new BaseFilter(reader, URI.create(job.base));
          filter.setContentHandler(fop.getDefaultHandler());
          InputSource source = new InputSource(new File(job.fo).toURI().toString());
          filter.parse(source);
          pages = fop.getResults() != null ? fop.getResults().getPageCount() : 0;
        } catch (Throwable t) {
          failure = describe(t);
        } finally {
          CURRENT.remove();
        }
        try {
          if (failure == null) Files.move(part, pdf, StandardCopyOption.REPLACE_EXISTING);
          else Files.deleteIfExists(part);
        } catch (IOException e) {
          if (failure == null) failure = "could not write " + pdf + ": " + e.getMessage();
        }
        double seconds = (System.nanoTime() - start) / 1e9;
        if (failure != null) failed.add(job);
        report(out, job, pages, seconds, failure, done.incrementAndGet(), total, showProgress);
      });
    }
    pool.shutdown();
    pool.awaitTermination(Long.MAX_VALUE, TimeUnit.DAYS);
    if (showProgress) out.print("\r\033[K");
    if (!failed.isEmpty()) {
      StringBuilder names = new StringBuilder();
      for (Job job : jobs) {
        if (failed.contains(job)) names.append(names.length() > 0 ? ", " : "").append(job.name);
      }
      err.println("pagesmith-pdf: " + failed.size() + " of " + total + " pages failed: " + names);
    }
    out.flush();
    System.exit(failed.isEmpty() ? 0 : 4);
  }

  /** Standard error, byte for byte as standard output is. */
  static PrintStream err = System.err;

  /** A text of the VM's, as the bytes of its UTF-8 form (see JOB-LIST). */
  static String utf8(String s) {
    return new String(s.getBytes(StandardCharsets.UTF_8), StandardCharsets.ISO_8859_1);
  }

  static synchronized void report(PrintStream out, Job job, int pages, double seconds, String failure,
                                  int done, int total, boolean progress) {
    if (progress) out.print("\r\033[K");
    StringBuilder line = new StringBuilder(job.name).append(": ");
    if (failure != null) {
      line.append("FAILED: ").append(utf8(failure));
    } else {
      line.append(pages).append(pages == 1 ? " page, " : " pages, ");
      line.append(String.format(Locale.ROOT, "%.1f s", seconds));
    }
    if (!job.notices.isEmpty()) line.append(", ").append(job.notices);
    if (failure != null) {
      out.flush();
      err.println(line);
    } else {
      out.println(line);
    }
    List<String> messages = job.messageLines();
    // FOP's words go where its log went before: standard error.
    out.flush();
    for (String m : messages) err.println("  FOP " + utf8(m));
    err.flush();
    if (!job.log.isEmpty() && !messages.isEmpty()) {
      try (Writer w = new FileWriter(job.log, StandardCharsets.UTF_8, true)) {
        for (String m : messages) w.write("FOP " + m + "\n");
      } catch (IOException e) {
        err.println("  (could not write " + job.log + ")");
      }
    }
    if (progress && done < total) out.print("[" + done + "/" + total + "] " + job.name);
    out.flush();
  }
}
