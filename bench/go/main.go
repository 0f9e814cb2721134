// The Go anchors of the concurrency benchmarks: a buffered channel of
// capacity 64 between P producer and C consumer goroutines, and a worker
// pool of goroutines ranging over a buffered chan func() that runs empty
// tasks.  Goroutines are started inside every run, as the benchmark's
// threads are, and GOMAXPROCS is the number of cores (Go's default).
//
//	go_anchor serve
//	    reads one command per line on standard input, runs it once and
//	    answers "done" on standard output; the concurrency benchmark drives
//	    it this way and times each run itself:
//	        channel <producers> <consumers> <messages> <capacity>
//	        pool <workers> <tasks> <queue capacity>
//	go_anchor [--benchmark_min_time=<seconds>] [--benchmark_out=<file>]
//	          [--benchmark_format=console|json]
//	    runs every case on its own, repeating each for at least the minimum
//	    time (0.5 s by default), and reports the mean time of one run under
//	    the names the concurrency benchmark gives the same cases, in Google
//	    Benchmark's JSON format when asked (to the file, or to standard
//	    output).
package main

import (
	"bufio"
	"encoding/json"
	"fmt"
	"os"
	"runtime"
	"strconv"
	"strings"
	"sync"
	"sync/atomic"
	"time"
)

const (
	messages  = 2000000
	capacity  = 64
	tasks     = 200000
	poolQueue = 64
)

// channelRun moves n messages from p producers to c consumers through a
// channel of the given capacity; each producer sends n/p, each consumer
// takes n/c.  Returns the sum received.
func channelRun(p, c, n, capacity int) int64 {
	ch := make(chan int64, capacity)
	var wg sync.WaitGroup
	var sum atomic.Int64
	wg.Add(p + c)
	for i := 0; i < c; i++ {
		go func() {
			defer wg.Done()
			var s int64
			for j := 0; j < n/c; j++ {
				s += <-ch
			}
			sum.Add(s)
		}()
	}
	for i := 0; i < p; i++ {
		go func() {
			defer wg.Done()
			for j := 0; j < n/p; j++ {
				ch <- int64(j)
			}
		}()
	}
	wg.Wait()
	return sum.Load()
}

func emptyTask() {}

// poolRun starts the workers, queues n empty tasks, closes the queue and
// waits for the workers to drain it.
func poolRun(workers, n, queue int) {
	work := make(chan func(), queue)
	var wg sync.WaitGroup
	wg.Add(workers)
	for i := 0; i < workers; i++ {
		go func() {
			defer wg.Done()
			for task := range work {
				task()
			}
		}()
	}
	for i := 0; i < n; i++ {
		work <- emptyTask
	}
	close(work)
	wg.Wait()
}

func atoi(s string) int {
	v, err := strconv.Atoi(s)
	if err != nil || v <= 0 {
		fmt.Fprintf(os.Stderr, "go_anchor: bad number %q\n", s)
		os.Exit(2)
	}
	return v
}

func serve() {
	in := bufio.NewScanner(os.Stdin)
	for in.Scan() {
		f := strings.Fields(in.Text())
		switch {
		case len(f) == 5 && f[0] == "channel":
			channelRun(atoi(f[1]), atoi(f[2]), atoi(f[3]), atoi(f[4]))
		case len(f) == 4 && f[0] == "pool":
			poolRun(atoi(f[1]), atoi(f[2]), atoi(f[3]))
		default:
			fmt.Fprintf(os.Stderr, "go_anchor: unknown command %q\n", in.Text())
			os.Exit(2)
		}
		fmt.Println("done")
	}
}

type result struct {
	Name       string  `json:"name"`
	RunName    string  `json:"run_name"`
	RunType    string  `json:"run_type"`
	Iterations int     `json:"iterations"`
	RealTime   float64 `json:"real_time"`
	CPUTime    float64 `json:"cpu_time"`
	TimeUnit   string  `json:"time_unit"`
}

// measure repeats run until minTime has passed (at least once) and returns
// the mean time of one run.
func measure(name string, minTime time.Duration, run func()) result {
	run() // warm-up, not counted
	iterations := 0
	start := time.Now()
	for iterations == 0 || time.Since(start) < minTime {
		run()
		iterations++
	}
	ms := float64(time.Since(start).Nanoseconds()) / 1e6 / float64(iterations)
	return result{name, name, "iteration", iterations, ms, ms, "ms"}
}

func main() {
	if len(os.Args) == 2 && os.Args[1] == "serve" {
		serve()
		return
	}
	minTime := 500 * time.Millisecond
	out, format := "", "console"
	for _, a := range os.Args[1:] {
		k, v, _ := strings.Cut(a, "=")
		switch k {
		case "--benchmark_min_time":
			s, err := strconv.ParseFloat(strings.TrimSuffix(v, "s"), 64)
			if err != nil {
				fmt.Fprintf(os.Stderr, "go_anchor: bad time %q\n", v)
				os.Exit(2)
			}
			minTime = time.Duration(s * float64(time.Second))
		case "--benchmark_out":
			out = v
		case "--benchmark_format", "--benchmark_out_format":
			if k == "--benchmark_format" {
				format = v
			}
		default:
			fmt.Fprintf(os.Stderr, "go_anchor: unknown argument %q\n", a)
			os.Exit(2)
		}
	}
	results := []result{
		measure("channel/go/1/1/real_time", minTime, func() { channelRun(1, 1, messages, capacity) }),
		measure("channel/go/4/4/real_time", minTime, func() { channelRun(4, 4, messages, capacity) }),
		measure("pool_empty_tasks/go/1/real_time", minTime, func() { poolRun(1, tasks, poolQueue) }),
		measure("pool_empty_tasks/go/4/real_time", minTime, func() { poolRun(4, tasks, poolQueue) }),
	}
	report := map[string]any{
		"context": map[string]any{
			"date":       time.Now().Format(time.RFC3339),
			"executable": os.Args[0],
			"num_cpus":   runtime.NumCPU(),
			"gomaxprocs": runtime.GOMAXPROCS(0),
			"go_version": runtime.Version(),
		},
		"benchmarks": results,
	}
	text, _ := json.MarshalIndent(report, "", "  ")
	if out != "" {
		if err := os.WriteFile(out, append(text, '\n'), 0o644); err != nil {
			fmt.Fprintf(os.Stderr, "go_anchor: %v\n", err)
			os.Exit(1)
		}
	}
	if format == "json" {
		fmt.Println(string(text))
		return
	}
	fmt.Printf("%-40s %12s %12s\n", "Benchmark", "Time", "Iterations")
	for _, r := range results {
		fmt.Printf("%-40s %9.2f ms %12d\n", r.Name, r.RealTime, r.Iterations)
	}
}
